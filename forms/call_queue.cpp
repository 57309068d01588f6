// SPDX-License-Identifier: MIT
#include "forms/call_queue.h"

#include "forms/forms.h"

namespace forms {

void CallQueue::Queue(std::shared_ptr<Item> item)
{
    items_.push_back(std::move(item));
    if (queued)
        queued();
    windowWakes.notify_all();
}

void CallQueue::RunAndWait(const std::function<void()>& call, bool tracked)
{
    auto item = std::make_shared<Item>();
    item->call = call;
    item->waited = true;
    item->tracked = tracked;
    {
        std::unique_lock lock(mutex);
        Queue(item);
        if (waiting)
            waiting(tracked);
        served_.wait(lock, [&] { return item->done; });
    }
    if (std::exception_ptr error = std::move(item->error))
        std::rethrow_exception(error);
}

void CallQueue::Post(std::function<void()> call)
{
    auto item = std::make_shared<Item>();
    item->call = std::move(call);
    std::lock_guard lock(mutex);
    Queue(std::move(item));
}

int CallQueue::Serve(int limit)
{
    int count = 0;
    for (;;) {
        std::shared_ptr<Item> item;
        {
            std::lock_guard lock(mutex);
            if (items_.empty() || count == limit)
                return count;
            item = items_.front();
            items_.pop_front();
        }
        ++count;
        if (item->waited) {
            try {
                item->call();
            } catch (...) {
                item->error = std::current_exception();
            }
        } else {
            Application->Dispatch(item->call);
        }
        std::lock_guard lock(mutex);
        item->done = true;
        if (item->waited && served)
            served(item->tracked);
        // The waiting thread keeps the last reference, so the exception it
        // raises again is released on that thread alone.
        item.reset();
        served_.notify_all();
    }
}

void CallQueue::Clear()
{
    std::lock_guard lock(mutex);
    items_.clear();
}

}  // namespace forms
