// SPDX-License-Identifier: MIT
// The headless back end: controls stay in memory, the test's thread is the
// window thread, and time is a virtual clock.
#include <algorithm>
#include <condition_variable>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "forms/backend.h"
#include "forms/call_queue.h"
#include "forms/forms.h"
#include "forms/headless.h"
#include "forms/timer.h"

namespace forms {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

struct Sleeper {
    std::int64_t wakeAt;
    std::uint64_t order;  // sleepers ending at the same instant wake in the order they slept
    bool tracked;
    bool woken = false;
};

// Everything the window thread shares with the workers, under the call
// queue's lock.  `busy` counts toolkit threads that are running, that is
// neither sleeping, waiting in Synchronize, nor ended; whoever wakes such a
// thread counts it busy again before it lets go of the lock, so the window
// thread never sees a gap in which a woken thread is not yet counted.
struct Scheduler {
    CallQueue calls;
    std::condition_variable workersWake;
    const std::thread::id windowThread = std::this_thread::get_id();
    std::int64_t now = 0;
    std::vector<Sleeper*> sleepers;
    std::uint64_t sleepsStarted = 0;
    struct TimerEntry {
        std::int64_t due;
        std::uint64_t order;  // timers due at the same instant fire in the order they were started
    };
    std::map<TTimer*, TimerEntry> timers;
    std::uint64_t timersCreated = 0;
    int busy = 0;
    int live = 0;

    Scheduler()
    {
        calls.waiting = [this](bool tracked) { busy -= tracked ? 1 : 0; };
        calls.served = [this](bool tracked) { busy += tracked ? 1 : 0; };
    }
};

// Constructed during static initialisation, on the main thread, which is
// therefore the window thread.  Never destroyed: worker threads may still
// reach it while the process exits.
Scheduler& scheduler = *new Scheduler();
thread_local bool isToolkitThread = false;

int RunQueued(int limit = std::numeric_limits<int>::max())
{
    return scheduler.calls.Serve(limit);
}

[[noreturn]] void GuardExpired(const char* what)
{
    throw std::runtime_error(std::string("headless back end: ") + what +
                             " (a toolkit thread is blocked outside the toolkit?)");
}

// The sleeper to wake next, or nullptr.
Sleeper* NextSleeper()
{
    Sleeper* next = nullptr;
    for (Sleeper* sleeper : scheduler.sleepers)
        if (!sleeper->woken && (!next || std::tie(sleeper->wakeAt, sleeper->order) < std::tie(next->wakeAt, next->order)))
            next = sleeper;
    return next;
}

std::int64_t NextTimer()
{
    std::int64_t next = kNever;
    for (const auto& [timer, entry] : scheduler.timers)
        next = std::min(next, entry.due);
    return next;
}

// Moves the clock to the next sleeper end or (with `fireTimers`) timer due
// time at or before `limit` and returns true, having woken that one sleeper
// and let it run until idle, or else fired the timers due then; false if
// nothing is due by `limit`.  One sleeper at a time, and sleepers before the
// timers of the same instant, so the order never depends on the system's
// thread scheduling.
bool Step(std::int64_t limit, bool fireTimers, std::chrono::milliseconds guard)
{
    std::vector<TTimer*> due;
    {
        std::lock_guard lock(scheduler.calls.mutex);
        Sleeper* sleeper = NextSleeper();
        const std::int64_t wake = sleeper ? sleeper->wakeAt : kNever;
        const std::int64_t next = std::min(wake, fireTimers ? NextTimer() : kNever);
        if (next == kNever || next > limit)
            return false;
        scheduler.now = std::max(scheduler.now, next);
        if (wake == next) {
            sleeper->woken = true;
            if (sleeper->tracked)
                ++scheduler.busy;
            scheduler.workersWake.notify_all();
        } else {
            for (const auto& [timer, entry] : scheduler.timers)
                if (entry.due <= scheduler.now)
                    due.push_back(timer);
            std::ranges::sort(due, {}, [](TTimer* timer) { return scheduler.timers.at(timer).order; });
        }
    }
    headless::Settle(guard);
    for (TTimer* timer : due) {
        {
            std::lock_guard lock(scheduler.calls.mutex);
            const auto entry = scheduler.timers.find(timer);
            if (entry == scheduler.timers.end() || entry->second.due > scheduler.now)
                continue;  // stopped or restarted by an earlier handler
            entry->second.due = scheduler.now + timer->Interval();
        }
        timer->Tick();
        headless::Settle(guard);
    }
    return true;
}

}  // namespace

// ---- Test driving ----------------------------------------------------------------

namespace headless {

std::int64_t Now()
{
    std::lock_guard lock(scheduler.calls.mutex);
    return scheduler.now;
}

void Settle(std::chrono::milliseconds guard)
{
    // One queued call at a time, each once every toolkit thread is idle: the
    // thread a call releases (or starts) runs alone until it is idle again,
    // so what the threads do never depends on the system's scheduling.
    const auto deadline = Clock::now() + guard;
    for (;;) {
        {
            std::unique_lock lock(scheduler.calls.mutex);
            if (!scheduler.calls.windowWakes.wait_until(lock, deadline, [] { return scheduler.busy == 0; }))
                GuardExpired("threads stayed busy");
            if (scheduler.calls.Empty())
                return;
        }
        RunQueued(1);
    }
}

void Advance(std::int64_t ms, std::chrono::milliseconds guard)
{
    const std::int64_t target = Now() + ms;
    Settle(guard);
    while (Step(target, true, guard)) {
    }
    std::lock_guard lock(scheduler.calls.mutex);
    scheduler.now = std::max(scheduler.now, target);
}

int Pump()
{
    int queued;
    {
        std::lock_guard lock(scheduler.calls.mutex);
        queued = scheduler.calls.Size();
    }
    return RunQueued(queued);
}

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds guard)
{
    const auto deadline = Clock::now() + guard;
    for (;;) {
        RunQueued();
        if (condition())
            return true;
        std::unique_lock lock(scheduler.calls.mutex);
        // Short waits: the condition may depend on state that never notifies.
        scheduler.calls.windowWakes.wait_for(lock, std::chrono::milliseconds(1),
                                       [] { return !scheduler.calls.Empty(); });
        if (Clock::now() > deadline)
            return false;
    }
}

int LiveThreads()
{
    std::lock_guard lock(scheduler.calls.mutex);
    return scheduler.live;
}

void Sleep(std::int64_t ms)
{
    if (backend::OnWindowThread()) {
        const std::int64_t target = Now() + ms;
        Settle();
        while (Step(target, false, std::chrono::milliseconds(10000))) {
        }
        std::lock_guard lock(scheduler.calls.mutex);
        scheduler.now = std::max(scheduler.now, target);
        return;
    }
    if (ms <= 0)
        return;
    std::unique_lock lock(scheduler.calls.mutex);
    Sleeper sleeper{scheduler.now + ms, scheduler.sleepsStarted++, isToolkitThread};
    scheduler.sleepers.push_back(&sleeper);
    if (sleeper.tracked) {
        --scheduler.busy;
        scheduler.calls.windowWakes.notify_all();
    }
    scheduler.workersWake.wait(lock, [&] { return sleeper.woken; });
    std::erase(scheduler.sleepers, &sleeper);
}

IdleScope::IdleScope() : active_(isToolkitThread)
{
    if (!active_)
        return;
    std::lock_guard lock(scheduler.calls.mutex);
    --scheduler.busy;
    scheduler.calls.windowWakes.notify_all();
}

IdleScope::~IdleScope()
{
    if (!active_)
        return;
    std::lock_guard lock(scheduler.calls.mutex);
    ++scheduler.busy;
}

HICON IconHandle(const std::string& name)
{
    static std::mutex mutex;
    static std::map<std::string, std::uintptr_t> handles;
    std::lock_guard lock(mutex);
    const auto [entry, added] = handles.emplace(name, 0x7000 + 0x10 * handles.size());
    return reinterpret_cast<HICON>(entry->second);
}

void Reset()
{
    if (LiveThreads() != 0)
        throw std::logic_error("headless::Reset with toolkit threads still alive");
    Application->Reset();
    Application->OnException = nullptr;
    scheduler.calls.Clear();
    std::lock_guard lock(scheduler.calls.mutex);
    scheduler.timers.clear();
    scheduler.now = 0;
}

}  // namespace headless

// ---- The back end proper -----------------------------------------------------------

namespace backend {

bool OnWindowThread()
{
    return std::this_thread::get_id() == scheduler.windowThread;
}

void RunOnWindowThread(const std::function<void()>& call)
{
    if (OnWindowThread())
        call();
    else
        scheduler.calls.RunAndWait(call, isToolkitThread);
}

void PostToWindowThread(std::function<void()> call)
{
    scheduler.calls.Post(std::move(call));
}

void WaitUntil(const std::function<bool()>& done)
{
    const auto guard = std::chrono::milliseconds(10000);
    for (;;) {
        headless::Settle(guard);
        if (done())
            return;
        // Waiting lets virtual time pass: wake the next sleeper.
        if (!Step(kNever, false, guard) && !headless::PumpUntil(done, guard))
            GuardExpired("waited for a thread that cannot progress");
    }
}

void Notify()
{
    std::lock_guard lock(scheduler.calls.mutex);
    scheduler.calls.windowWakes.notify_all();
}

void ThreadStarting()
{
    std::lock_guard lock(scheduler.calls.mutex);
    ++scheduler.busy;
    ++scheduler.live;
}

void ThreadBegins()
{
    isToolkitThread = true;
}

void ThreadEnded()
{
    std::lock_guard lock(scheduler.calls.mutex);
    --scheduler.busy;
    --scheduler.live;
    scheduler.calls.windowWakes.notify_all();
}

void TimerChanged(TTimer& timer)
{
    std::lock_guard lock(scheduler.calls.mutex);
    const std::int64_t due = scheduler.now + timer.Interval();
    if (!timer.Enabled() || timer.Interval() == 0)
        scheduler.timers.erase(&timer);
    else if (const auto entry = scheduler.timers.find(&timer); entry != scheduler.timers.end())
        entry->second.due = due;
    else
        scheduler.timers[&timer] = {due, scheduler.timersCreated++};
}

void TimerDestroyed(TTimer& timer)
{
    std::lock_guard lock(scheduler.calls.mutex);
    scheduler.timers.erase(&timer);
}

HICON LoadIconResource(const std::string& name)
{
    return headless::IconHandle(name);
}

void FormLoaded(TForm&) {}
void FormDestroying(TForm&) {}
void PopupMenu(TPopupMenu&, int, int) {}
void SetApplicationTitle(const std::string&) {}

HWND ApplicationHandle()
{
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xA000));
}

void RunMessageLoop()
{
    while (!Application->Terminated()) {
        RunQueued();
        std::unique_lock lock(scheduler.calls.mutex);
        scheduler.calls.windowWakes.wait_for(lock, std::chrono::milliseconds(10),
                                       [] { return !scheduler.calls.Empty(); });
    }
}

void ProcessMessages()
{
    RunQueued();
}

void Terminating()
{
    Notify();
}

}  // namespace backend

}  // namespace forms
