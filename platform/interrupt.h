// Ctrl-C as a stop request: while an InterruptStop lives, SIGINT no longer ends the process but
// requests a stop through the given source, so that a long task (verdal-cli's update) ends the
// way a stop ends it and keeps what it has done.
//
// Threads: make it on the main thread before any other thread starts, so that every thread
// started afterwards has SIGINT blocked and only its own watcher thread takes it; destroy it on
// the same thread. Interrupted may be called from any thread.
#pragma once

#include <atomic>
#include <csignal>
#include <stop_token>
#include <thread>

namespace verdal {

class InterruptStop {
public:
    explicit InterruptStop(std::stop_source& source);
    InterruptStop(const InterruptStop&) = delete;
    InterruptStop& operator=(const InterruptStop&) = delete;
    // Ends the watcher and restores the signal mask as it was.
    ~InterruptStop();

    // Whether SIGINT arrived.
    bool Interrupted() const { return interrupted_.load(); }

private:
    std::atomic<bool> interrupted_{false};
    sigset_t previous_{};
    std::jthread watcher_; // last: it uses the members above
};

} // namespace verdal
