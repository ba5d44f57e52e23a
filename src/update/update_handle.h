// What the update worker reports to whoever shows the update: the progress
// dialog in the product, a recorder in tests and headless runs.
#pragma once

#include <string>

// Called on the worker's thread; an implementation hands the calls on to its
// own thread if it needs to.
class CUpdateHandle {
public:
    virtual ~CUpdateHandle() = default;
    // The update has ended with code (0 success; 15 and above: the id of a
    // newer updater process that carries on).
    virtual void NotifyFinished(int code) = 0;
    virtual void NotifyPercent(int percent) = 0;
    virtual void Show(int showCommand) = 0;
    virtual void NotifyStatusText(const std::wstring& text) = 0;
    virtual void SetErrorText(const std::wstring& text) = 0;
    // The worker enters (true) or leaves (false) a step whose progress it
    // cannot measure: applying files, running a command. A watchdog that
    // stops an update whose percentage stands still waits meanwhile.
    virtual void NotifyBusy(bool busy) = 0;
};

// Marks the worker busy for its own lifetime; a null handle is ignored.
class CUpdateBusyScope {
public:
    explicit CUpdateBusyScope(CUpdateHandle* handle) : handle_(handle) {
        if (handle_ != nullptr) handle_->NotifyBusy(true);
    }
    ~CUpdateBusyScope() {
        if (handle_ != nullptr) handle_->NotifyBusy(false);
    }
    CUpdateBusyScope(const CUpdateBusyScope&) = delete;
    CUpdateBusyScope& operator=(const CUpdateBusyScope&) = delete;

private:
    CUpdateHandle* handle_;
};
