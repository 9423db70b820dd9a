// The course map fetcher's thread: takes one job at a time and hands back its result.
#include "update/map_fetcher.h"

#include "update/http_fetch.h"

namespace verdal {

MapFetcher::MapFetcher() : thread_([this] { Run(); }) {}

MapFetcher::~MapFetcher() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void MapFetcher::Start(std::u16string url, void* buffer, std::uint32_t capacity) {
    {
        std::lock_guard lock(mutex_);
        job_ = Job{std::move(url), buffer, capacity};
        result_.reset();
    }
    changed_.notify_all();
}

int MapFetcher::Collect() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return result_.has_value(); });
    const int result = *result_;
    result_.reset();
    return result;
}

void MapFetcher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stop_ || job_.has_value(); });
        if (!job_)
            return; // stopped with nothing left to fetch
        const Job job = std::move(*job_);
        job_.reset();
        lock.unlock();
        const int result = FetchUrlToMemory(job.url, job.buffer, job.capacity);
        lock.lock();
        result_ = result;
        changed_.notify_all();
    }
}

} // namespace verdal
