// A stand-in for the update worker: on a thread of its own it reports
// through a CUpdateHandle what its script says, the way the real worker
// reports an update (status texts, percentages, an error text, busy steps,
// the result),
// and it can stop at pauses until it is resumed.
//
// Threading: the owner's operations may be called from any thread; the
// script runs on the worker's thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "update/update_handle.h"

class CScriptedUpdateWorker {
public:
    struct SStep {
        enum Kind { kStatus, kPercent, kErrorText, kFinish, kPause, kBusy } kind;
        int value;
        std::wstring text;
    };
    static SStep Status(const std::wstring& text) { return SStep{SStep::kStatus, 0, text}; }
    static SStep Percent(int percent) { return SStep{SStep::kPercent, percent, std::wstring()}; }
    static SStep ErrorText(const std::wstring& text) { return SStep{SStep::kErrorText, 0, text}; }
    static SStep Finish(int code) { return SStep{SStep::kFinish, code, std::wstring()}; }
    static SStep Busy(bool busy) { return SStep{SStep::kBusy, busy ? 1 : 0, std::wstring()}; }
    // The text names the pause for a pause function given to the constructor.
    static SStep Pause(const std::wstring& name = std::wstring()) { return SStep{SStep::kPause, 0, name}; }

    // Without a pause function the worker waits at a pause until Resume.
    explicit CScriptedUpdateWorker(std::vector<SStep> steps,
                                   std::function<void(const std::wstring& name)> pause = nullptr);
    // Lets the worker past every pause and waits for its thread.
    ~CScriptedUpdateWorker();
    CScriptedUpdateWorker(const CScriptedUpdateWorker&) = delete;
    CScriptedUpdateWorker& operator=(const CScriptedUpdateWorker&) = delete;

    void SetHandle(CUpdateHandle* handle);
    // Starts the script once; later calls do nothing.
    void Start();

    // Lets the worker past its current (or next) pause.
    void Resume();
    // Lets it past every pause from now on.
    void ResumeAll();
    // Lets it past every pause and waits for the script's end.
    void Join();
    // Waits up to timeoutMs until the worker has started.
    bool WaitStarted(unsigned timeoutMs);
    // Waits up to timeoutMs until the worker is at its pause number index (0-based).
    bool WaitAtPause(int index, unsigned timeoutMs);
    bool Started() const;
    CUpdateHandle* Handle() const;

private:
    void Run();
    void WaitAtGate();

    std::vector<SStep> steps_;
    std::function<void(const std::wstring&)> pause_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    CUpdateHandle* handle_ = nullptr;
    bool started_ = false;
    int pausesReached_ = 0;  // pauses the worker has arrived at
    int resumes_ = 0;        // pauses it may pass
    bool resumeAll_ = false;
    std::thread thread_;
};
