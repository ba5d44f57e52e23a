#include "scripted_update_worker.h"

#include <chrono>

CScriptedUpdateWorker::CScriptedUpdateWorker(std::vector<SStep> steps,
                                             std::function<void(const std::wstring&)> pause)
    : steps_(std::move(steps)), pause_(std::move(pause)) {}

CScriptedUpdateWorker::~CScriptedUpdateWorker() { Join(); }

void CScriptedUpdateWorker::Join() {
    ResumeAll();
    if (thread_.joinable()) thread_.join();
}

void CScriptedUpdateWorker::SetHandle(CUpdateHandle* handle) {
    std::lock_guard<std::mutex> lock(lock_);
    handle_ = handle;
}

void CScriptedUpdateWorker::Start() {
    std::lock_guard<std::mutex> lock(lock_);
    if (started_) return;
    started_ = true;
    thread_ = std::thread([this] { Run(); });
    changed_.notify_all();
}

void CScriptedUpdateWorker::Resume() {
    std::lock_guard<std::mutex> lock(lock_);
    ++resumes_;
    changed_.notify_all();
}

void CScriptedUpdateWorker::ResumeAll() {
    std::lock_guard<std::mutex> lock(lock_);
    resumeAll_ = true;
    changed_.notify_all();
}

bool CScriptedUpdateWorker::WaitStarted(unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return started_; });
}

bool CScriptedUpdateWorker::WaitAtPause(int index, unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this, index] { return pausesReached_ > index; });
}

bool CScriptedUpdateWorker::Started() const {
    std::lock_guard<std::mutex> lock(lock_);
    return started_;
}

CUpdateHandle* CScriptedUpdateWorker::Handle() const {
    std::lock_guard<std::mutex> lock(lock_);
    return handle_;
}

void CScriptedUpdateWorker::Run() {
    CUpdateHandle* handle = Handle();
    for (const SStep& step : steps_) {
        switch (step.kind) {
            case SStep::kStatus:
                handle->NotifyStatusText(step.text);
                break;
            case SStep::kPercent:
                handle->NotifyPercent(step.value);
                break;
            case SStep::kErrorText:
                handle->SetErrorText(step.text);
                break;
            case SStep::kFinish:
                handle->NotifyFinished(step.value);
                break;
            case SStep::kBusy:
                handle->NotifyBusy(step.value != 0);
                break;
            case SStep::kPause:
                if (pause_) {
                    {
                        std::lock_guard<std::mutex> lock(lock_);
                        ++pausesReached_;
                        changed_.notify_all();
                    }
                    pause_(step.text);
                } else {
                    WaitAtGate();
                }
                break;
        }
    }
}

void CScriptedUpdateWorker::WaitAtGate() {
    std::unique_lock<std::mutex> lock(lock_);
    const int index = pausesReached_++;
    changed_.notify_all();
    changed_.wait(lock, [this, index] { return resumeAll_ || resumes_ > index; });
}
