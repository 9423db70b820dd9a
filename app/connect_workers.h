// The connect workers of the main window: each runs on a thread of its own, detached from the
// caller, and the window waits for the ones still running before it lets go of what they use
// (the device link, its capacity and course list, the catalogue offer).
//
// Threads: Start and WaitAll on the user-interface thread; the count is shared with the workers.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace verdal {

class ConnectWorkers {
public:
    // Runs body on a new thread and returns at once.
    void Start(std::function<void()> body);
    // Waits until every worker started so far has ended.
    void WaitAll();
    // The number of workers still running.
    int Running() const;

private:
    struct State {
        mutable std::mutex mutex;
        std::condition_variable ended;
        int running = 0;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace verdal
