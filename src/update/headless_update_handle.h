// A CUpdateHandle without a window: it records everything the worker reports,
// for runs without the dialog and for tests.
//
// Threading: every operation may be called from any thread; the recorded
// values are guarded by one lock.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "update/update_handle.h"

class CHeadlessUpdateHandle : public CUpdateHandle {
public:
    void NotifyFinished(int code) override;
    void NotifyPercent(int percent) override;
    void Show(int showCommand) override;
    void NotifyStatusText(const std::wstring& text) override;
    void SetErrorText(const std::wstring& text) override;
    void NotifyBusy(bool busy) override;

    // Blocks until NotifyFinished has come and returns its code.
    int WaitForResult();
    // False while the update has not finished.
    bool Finished() const;
    // Every percent, status text and show command in the order they came.
    std::vector<int> Percents() const;
    std::vector<std::wstring> StatusTexts() const;
    std::vector<int> ShowCommands() const;
    // The last error text; empty when none came.
    std::wstring ErrorText() const;
    // True between NotifyBusy(true) and NotifyBusy(false).
    bool Busy() const;
    // How often the worker became busy.
    int BusySteps() const;

private:
    mutable std::mutex lock_;
    std::condition_variable finishedSignal_;
    bool finished_ = false;
    int result_ = 0;
    std::vector<int> percents_;
    std::vector<std::wstring> statusTexts_;
    std::vector<int> showCommands_;
    std::wstring errorText_;
    bool busy_ = false;
    int busySteps_ = 0;
};
