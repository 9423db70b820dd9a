// A thread that fetches course maps one at a time while its owner does something else, so that
// the next course's map travels while the current course is stored.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace verdal {

class MapFetcher {
public:
    MapFetcher();
    MapFetcher(const MapFetcher&) = delete;
    MapFetcher& operator=(const MapFetcher&) = delete;
    // Waits for a fetch in flight (bounded by the fetch's stall limit), then ends the thread.
    ~MapFetcher();

    // Starts FetchUrlToMemory of url into buffer (capacity bytes), which must stay valid until
    // Collect has answered. At most one fetch is in flight: collect the previous one first.
    void Start(std::u16string url, void* buffer, std::uint32_t capacity);
    // Waits for the fetch started last and answers FetchUrlToMemory's result.
    int Collect();

private:
    struct Job {
        std::u16string url;
        void* buffer = nullptr;
        std::uint32_t capacity = 0;
    };

    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Job> job_;
    std::optional<int> result_;
    bool stop_ = false;
    std::thread thread_; // last: starts once the members above exist
};

} // namespace verdal
