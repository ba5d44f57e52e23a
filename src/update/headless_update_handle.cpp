#include "update/headless_update_handle.h"

void CHeadlessUpdateHandle::NotifyFinished(int code) {
    std::lock_guard<std::mutex> guard(lock_);
    result_ = code;
    finished_ = true;
    finishedSignal_.notify_all();
}

void CHeadlessUpdateHandle::NotifyPercent(int percent) {
    std::lock_guard<std::mutex> guard(lock_);
    percents_.push_back(percent);
}

void CHeadlessUpdateHandle::Show(int showCommand) {
    std::lock_guard<std::mutex> guard(lock_);
    showCommands_.push_back(showCommand);
}

void CHeadlessUpdateHandle::NotifyStatusText(const std::wstring& text) {
    std::lock_guard<std::mutex> guard(lock_);
    statusTexts_.push_back(text);
}

void CHeadlessUpdateHandle::SetErrorText(const std::wstring& text) {
    std::lock_guard<std::mutex> guard(lock_);
    errorText_ = text;
}

void CHeadlessUpdateHandle::NotifyBusy(bool busy) {
    std::lock_guard<std::mutex> guard(lock_);
    if (busy && !busy_) ++busySteps_;
    busy_ = busy;
}

int CHeadlessUpdateHandle::WaitForResult() {
    std::unique_lock<std::mutex> lock(lock_);
    finishedSignal_.wait(lock, [this] { return finished_; });
    return result_;
}

bool CHeadlessUpdateHandle::Finished() const {
    std::lock_guard<std::mutex> guard(lock_);
    return finished_;
}

std::vector<int> CHeadlessUpdateHandle::Percents() const {
    std::lock_guard<std::mutex> guard(lock_);
    return percents_;
}

std::vector<std::wstring> CHeadlessUpdateHandle::StatusTexts() const {
    std::lock_guard<std::mutex> guard(lock_);
    return statusTexts_;
}

std::vector<int> CHeadlessUpdateHandle::ShowCommands() const {
    std::lock_guard<std::mutex> guard(lock_);
    return showCommands_;
}

std::wstring CHeadlessUpdateHandle::ErrorText() const {
    std::lock_guard<std::mutex> guard(lock_);
    return errorText_;
}

bool CHeadlessUpdateHandle::Busy() const {
    std::lock_guard<std::mutex> guard(lock_);
    return busy_;
}

int CHeadlessUpdateHandle::BusySteps() const {
    std::lock_guard<std::mutex> guard(lock_);
    return busySteps_;
}
