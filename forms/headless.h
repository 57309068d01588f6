/* SPDX-License-Identifier: MIT */
// Driving the headless back end from tests.
//
// The test's thread is the window thread: handlers run on it when the test
// clicks, pumps or advances the clock.  Worker threads (TThread) hand calls to
// it through Synchronize; they wait in a queue until the test pumps.  Time is
// virtual: Sleep on a worker blocks until the test advances the clock past
// its end, and timers fire as the clock passes their due times.
//
// Advance and Settle wait until every toolkit thread is idle: blocked in a
// virtual Sleep, waiting in Synchronize, or ended.  A thread that blocks in
// anything else (a simulated driver's wait) stays busy and makes them raise
// after a real-time guard; wrap such waits in IdleScope, or drive those
// threads with PumpUntil instead.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "forms/wintypes.h"

namespace forms::headless {

using namespace std::chrono_literals;

// Virtual milliseconds since the start (or the last Reset).
std::int64_t Now();

// Moves virtual time forward by `ms`: each sleeper whose end is reached wakes
// (in time order) and runs until idle, with its Synchronize calls served;
// each due timer fires on this thread.  Raises std::runtime_error if a
// thread stays busy longer than the guard (real time).
void Advance(std::int64_t ms, std::chrono::milliseconds guard = 10s);

// Serves queued calls until every toolkit thread is idle; time stands still.
// It serves one call at a time, each once every toolkit thread is idle, so a
// thread that a call starts or releases runs alone until it is idle again:
// Advance and Settle run the threads in a fixed order.
void Settle(std::chrono::milliseconds guard = 10s);

// Runs the calls queued for the window thread when it is called (Synchronize,
// thread starts), not those queued meanwhile; returns how many ran.  Does
// not wait.
int Pump();

// Serves queued calls until `condition` holds; false if it does not within
// the guard.  Time stands still.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds guard = 10s);

// Toolkit threads started and not yet ended (a FreeOnTerminate thread ends
// after deleting itself).
int LiveThreads();

// Sleep on the virtual clock (what FakeOs::Sleep does).  On the window
// thread it advances the clock itself, without firing timers.
void Sleep(std::int64_t ms);

// Marks the calling toolkit thread idle while it blocks on something the test
// controls.  It counts as busy again only once the scope ends, so pair it
// with PumpUntil rather than Advance.
class IdleScope {
public:
    IdleScope();
    ~IdleScope();
    IdleScope(const IdleScope&) = delete;
    IdleScope& operator=(const IdleScope&) = delete;

private:
    bool active_;
};

// The stand-in handle of the icon resource `name` (distinct per name).
HICON IconHandle(const std::string& name);

// Back to a fresh start: destroys every form of the application, forgets
// timers and queued calls, and sets the clock to 0.  Raises if toolkit
// threads are still alive.
void Reset();

}  // namespace forms::headless
