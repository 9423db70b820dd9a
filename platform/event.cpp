// Manual-reset event, steady tick and sleep on the standard library.
#include "platform/event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace verdal {

void ManualResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool ManualResetEvent::IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

void ManualResetEvent::Wait() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
}

bool ManualResetEvent::Wait(std::uint32_t timeoutMs, std::stop_token stop) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, stop, std::chrono::milliseconds(timeoutMs),
                             [this] { return set_; });
}

std::uint32_t GetTickCount() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

bool Sleep(std::uint32_t milliseconds, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    woken.wait_for(lock, stop, std::chrono::milliseconds(milliseconds), [] { return false; });
    return !stop.stop_requested();
}

StopFd::StopFd(std::stop_token stop)
    : fd_{::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)}, callback_(stop, Signal{fd_.fd}) {}

StopFd::Owned::~Owned() {
    if (fd >= 0)
        ::close(fd);
}

void StopFd::Signal::operator()() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

} // namespace verdal
