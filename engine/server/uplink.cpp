// The uplink's queue: one wake-up posted for each task, each running the task longest waiting.
#include "engine/server/uplink.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

namespace verdal::engine {

void Uplink::Post(Task task) {
    {
        const std::lock_guard lock(mutex_);
        if (closed_)
            return;
        waiting_.push_back(std::move(task));
    }
    const bool posted = handlers_.post([weak = weak_from_this()] {
        if (const auto self = weak.lock())
            self->RunNext();
    });
    // Without its wake-up the task would never run; the tasks before it have theirs, so it is
    // still the last.
    if (!posted) {
        const std::lock_guard lock(mutex_);
        if (!closed_)
            waiting_.pop_back();
    }
}

void Uplink::RunNext() {
    Task task;
    {
        const std::lock_guard lock(mutex_);
        if (closed_ || waiting_.empty())
            return;
        task = std::move(waiting_.front());
        waiting_.pop_front();
    }
    task(handlers_);
}

void Uplink::Answer(std::function<void()> work) {
    const std::lock_guard lock(mutex_);
    if (!closed_)
        boost::asio::post(context_, std::move(work));
}

void Uplink::Close() {
    std::deque<Task> dropped;
    const std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(waiting_);
}

} // namespace verdal::engine
