// The way up from the server's thread to the engine, and back down with an answer. Each task runs
// on the user-interface thread with the handlers the engine gave, in the order posted. A task
// carries plain data only, never a session: the sessions stay on the server's side, so nothing
// that a task holds touches the server when the task goes.
//
// Closing drops the tasks still waiting and every answer after it: once the server has stopped,
// nothing it posted runs. The wake-ups already posted to the user-interface thread hold the
// uplink weakly and find nothing to do.
//
// Threads: Post on the server's thread; Answer inside a task, Close and the destructor on the
// user-interface thread.
#pragma once

#include "engine/server.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace boost::asio {
class io_context;
}

namespace verdal::engine {

class Uplink : public std::enable_shared_from_this<Uplink> {
public:
    using Task = std::function<void(const ServerHandlers&)>;

    Uplink(boost::asio::io_context& context, ServerHandlers handlers)
        : context_(context), handlers_(std::move(handlers)) {}

    // Queues the task and posts a wake-up that runs it; nothing once closed.
    void Post(Task task);
    // Runs the work on the server's thread, unless the uplink has been closed meanwhile (by a
    // handler that stopped the server).
    void Answer(std::function<void()> work);
    // Called once the server's thread has ended and before its I/O context goes.
    void Close();

private:
    void RunNext();

    boost::asio::io_context& context_;
    const ServerHandlers handlers_;
    std::mutex mutex_;
    std::deque<Task> waiting_;
    bool closed_ = false;
};

} // namespace verdal::engine
