// SPDX-License-Identifier: MIT
#include "forms/thread.h"

#include <set>

#include "forms/backend.h"

namespace forms {

namespace {

// Threads whose start is queued for the window thread; one deleted before
// its turn leaves this set, so the queued start finds nothing to do.
std::mutex pendingMutex;
std::set<TThread*>& pendingStarts = *new std::set<TThread*>();

}  // namespace

TThread::TThread(bool CreateSuspended)
{
    if (!CreateSuspended)
        Start();
}

TThread::~TThread()
{
    {
        std::lock_guard lock(pendingMutex);
        pendingStarts.erase(this);
    }
    if (thread_.joinable()) {
        Terminate();
        WaitFor();
        thread_.join();
    }
}

void TThread::Start()
{
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Created)
            return;
        state_ = State::StartQueued;
    }
    {
        std::lock_guard lock(pendingMutex);
        pendingStarts.insert(this);
    }
    backend::PostToWindowThread([this] {
        {
            std::lock_guard lock(pendingMutex);
            if (pendingStarts.erase(this) == 0)
                return;
        }
        Launch();
    });
}

void TThread::Launch()
{
    backend::ThreadStarting();
    // Body takes the lock before it may detach thread_, so thread_ is set by then.
    std::lock_guard lock(mutex_);
    state_ = State::Running;
    thread_ = std::thread([this] { Body(); });
}

void TThread::Body()
{
    backend::ThreadBegins();
    try {
        Execute();
    } catch (...) {
        fatalException_ = std::current_exception();
    }
    try {
        Synchronize([this] { DoTerminate(); });
    } catch (...) {
        // A failing end-of-thread handler must not take the process down.
    }
    bool freeSelf;
    {
        std::lock_guard lock(mutex_);
        state_ = State::Finished;
        freeSelf = freeOnTerminate_;
        if (freeSelf)
            thread_.detach();
    }
    finishedChanged_.notify_all();
    backend::Notify();
    if (freeSelf)
        delete this;
    backend::ThreadEnded();
}

void TThread::Terminate()
{
    std::lock_guard lock(mutex_);
    terminated_ = true;
}

bool TThread::Terminated() const
{
    std::lock_guard lock(mutex_);
    return terminated_;
}

bool TThread::Finished() const
{
    std::lock_guard lock(mutex_);
    return state_ == State::Finished;
}

int TThread::WaitFor()
{
    if (backend::OnWindowThread()) {
        backend::WaitUntil([this] { return Finished(); });
    } else {
        std::unique_lock lock(mutex_);
        finishedChanged_.wait(lock, [this] { return state_ == State::Finished; });
    }
    return returnValue_;
}

bool TThread::FreeOnTerminate() const
{
    std::lock_guard lock(mutex_);
    return freeOnTerminate_;
}

void TThread::SetFreeOnTerminate(bool free)
{
    std::lock_guard lock(mutex_);
    freeOnTerminate_ = free;
}

void TThread::Synchronize(const std::function<void()>& method)
{
    backend::RunOnWindowThread(method);
}

void TThread::DoTerminate()
{
    if (OnTerminate)
        OnTerminate(this);
}

}  // namespace forms
