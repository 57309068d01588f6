/* SPDX-License-Identifier: MIT */
// Worker threads in the classic toolkit's manner.
//
// A thread created not suspended starts as soon as the window thread is
// free again (the creating handler has returned, or a test pumps), so the
// derived constructor has finished and the creator can still hook
// OnTerminate.  After Execute returns, OnTerminate runs on the window thread
// (the worker waits for it); then, with FreeOnTerminate, the object deletes
// itself.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "forms/classes.h"

namespace forms {

class TThread : public TObject {
public:
    explicit TThread(bool CreateSuspended);
    // Joins the thread.  The derived part is already gone by then, so a
    // running thread is stopped first: Terminate(); WaitFor(); delete.
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts a thread created suspended (Resume in older code).
    void Start();
    void Resume() { Start(); }

    // Asks Execute to stop; returns at once.
    void Terminate();
    bool Terminated() const;

    // Waits until Execute has returned and OnTerminate has run; returns
    // ReturnValue.  On the window thread it keeps serving Synchronize calls.
    int WaitFor();
    bool Finished() const;

    bool FreeOnTerminate() const;
    void SetFreeOnTerminate(bool free);

    // Runs on the window thread after Execute returns.
    TNotifyEvent OnTerminate;

    // What escaped Execute, if anything.
    std::exception_ptr FatalException() const { return fatalException_; }
    int ReturnValue() const { return returnValue_; }

protected:
    virtual void Execute() = 0;
    // Runs `method` on the window thread and returns once it has run; an
    // exception it raises is raised again here.
    void Synchronize(const std::function<void()>& method);
    // Runs OnTerminate (on the window thread).
    virtual void DoTerminate();
    void SetReturnValue(int value) { returnValue_ = value; }

private:
    enum class State { Created, StartQueued, Running, Finished };

    mutable std::mutex mutex_;
    std::condition_variable finishedChanged_;
    State state_ = State::Created;
    bool terminated_ = false;
    bool freeOnTerminate_ = false;
    std::exception_ptr fatalException_;
    int returnValue_ = 0;
    std::thread thread_;

    void Launch();
    void Body();
};

}  // namespace forms
