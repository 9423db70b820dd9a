// Connect workers that the main window can wait for.
#include "app/connect_workers.h"

#include <thread>

namespace verdal {

void ConnectWorkers::Start(std::function<void()> body) {
    {
        std::lock_guard lock(state_->mutex);
        ++state_->running;
    }
    // The thread holds the shared count, so it may end after the window object is gone.
    std::thread([state = state_, body = std::move(body)] {
        body();
        std::lock_guard lock(state->mutex);
        --state->running;
        state->ended.notify_all();
    }).detach();
}

void ConnectWorkers::WaitAll() {
    std::unique_lock lock(state_->mutex);
    state_->ended.wait(lock, [this] { return state_->running == 0; });
}

int ConnectWorkers::Running() const {
    std::lock_guard lock(state_->mutex);
    return state_->running;
}

} // namespace verdal
