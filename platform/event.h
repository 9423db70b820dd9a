// Events, the millisecond tick and sleeping: what threads of the program wait with.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>

namespace verdal {

// A manual-reset event: once set it stays set, releasing every waiter, until Reset.
// Every operation may be called from any thread.
class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Waits until the event is set, timeoutMs milliseconds have passed or a stop is requested
    // through stop; true only when the event was set.
    bool Wait(std::uint32_t timeoutMs, std::stop_token stop = {}) const;
    // Waits without a bound.
    void Wait() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable_any changed_;
    bool set_;
};

// Milliseconds on a steady clock since an arbitrary start; wraps after about 49.7 days.
std::uint32_t GetTickCount();

// Suspends the calling thread for the given number of milliseconds, or until a stop is
// requested through stop; answers false when it ended early because of the stop request (also
// when the stop was requested before the call).
bool Sleep(std::uint32_t milliseconds, std::stop_token stop = {});

// A stop token requested once either of two is: a worker's own stop, or the loss of what it
// works on (the device's link). Make and destroy it on the thread that uses the token.
class EitherStop {
public:
    EitherStop(std::stop_token first, std::stop_token second)
        : first_(std::move(first), Request{&source_}),
          second_(std::move(second), Request{&source_}) {}
    EitherStop(const EitherStop&) = delete;
    EitherStop& operator=(const EitherStop&) = delete;

    std::stop_token Token() const { return source_.get_token(); }

private:
    struct Request {
        std::stop_source* source;
        void operator()() const { source->request_stop(); }
    };
    std::stop_source source_;
    std::stop_callback<Request> first_, second_;
};

// A descriptor that becomes readable once a stop is requested through stop, for a poll() that
// waits on other descriptors too (a child's pidfd, a udev socket) and must end on the request.
// Fd is -1 when no eventfd could be made. Nothing reads it; make and destroy it on one thread.
class StopFd {
public:
    explicit StopFd(std::stop_token stop);
    StopFd(const StopFd&) = delete;
    StopFd& operator=(const StopFd&) = delete;

    int Fd() const { return fd_.fd; }

private:
    struct Owned {
        int fd;
        ~Owned();
    };
    struct Signal {
        int fd;
        void operator()() const;
    };
    const Owned fd_;
    // Made after fd_ and gone before it: once it has gone no request writes to the descriptor,
    // and only then is the descriptor closed.
    std::stop_callback<Signal> callback_;
};

} // namespace verdal
