/* SPDX-License-Identifier: MIT */
// The calls waiting for the window thread: Synchronize calls, whose thread
// waits until the call has run, and posted calls, whose caller goes on.
// Both back ends serve it from their window thread.  Internal to the toolkit.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>

namespace forms {

class CallQueue {
public:
    // Guards the queue and whatever the owner's hooks touch.
    std::mutex mutex;
    // Notified whenever a call is queued.
    std::condition_variable windowWakes;

    // Hooks, run with the mutex held.  `waiting`: a Synchronize caller
    // (`tracked`: a toolkit thread) starts waiting; `served`: its call has
    // run; `queued`: any call was queued.
    std::function<void(bool tracked)> waiting;
    std::function<void(bool tracked)> served;
    std::function<void()> queued;

    // Queues `call`, waits until the window thread has run it, and raises
    // again here what it raised there.
    void RunAndWait(const std::function<void()>& call, bool tracked);
    // Queues `call` and returns; what it raises goes to the exception display.
    void Post(std::function<void()> call);
    // Runs queued calls until none is left, or `limit` of them; returns how many ran.
    int Serve(int limit = std::numeric_limits<int>::max());
    // With the mutex held.
    bool Empty() const { return items_.empty(); }
    int Size() const { return static_cast<int>(items_.size()); }
    // Forgets what is queued (nobody may be waiting).
    void Clear();

private:
    struct Item {
        std::function<void()> call;
        bool waited = false;
        bool tracked = false;
        bool done = false;
        std::exception_ptr error;
    };
    std::condition_variable served_;
    std::deque<std::shared_ptr<Item>> items_;

    void Queue(std::shared_ptr<Item> item);
};

}  // namespace forms
