// The HTTP fetch on libcurl's easy interface: one handle and one connection per call.
#include "update/http_fetch.h"

#include "platform/event.h"
#include "platform/text.h"

#include <curl/curl.h>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace verdal {
namespace {

constexpr char kUserAgent[] = "InetURL/1.0";
constexpr long kConnectTimeoutMs = 2000;
// The body arrives in chunks no larger than this.
constexpr long kChunkSize = 1024;

std::atomic<std::uint32_t> stallLimitMs{30000};

// What the transfer callbacks share with the caller of one fetch.
struct Transfer {
    std::uint32_t lastByteTick = 0;
    curl_off_t lastReceived = 0;
    std::uint32_t stallLimit = 0;
};

// Gives the transfer up when no byte has arrived for the stall limit. libcurl calls this at
// least once a second, also while nothing arrives.
int OnProgress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(context);
    const std::uint32_t now = GetTickCount();
    if (received != transfer->lastReceived) {
        transfer->lastReceived = received;
        transfer->lastByteTick = now;
        return 0;
    }
    return now - transfer->lastByteTick > transfer->stallLimit ? 1 : 0;
}

// An easy handle set up the way every fetch needs it; closed when it leaves scope.
class Request {
public:
    Request(std::u16string_view url, Transfer& transfer) {
        static std::once_flag initialised;
        std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        handle_ = curl_easy_init();
        if (!handle_)
            return;
        url_ = Utf16ToUtf8(url);
        transfer.lastByteTick = GetTickCount();
        transfer.stallLimit = stallLimitMs.load();
        curl_easy_setopt(handle_, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(handle_, CURLOPT_USERAGENT, kUserAgent);
        curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
        curl_easy_setopt(handle_, CURLOPT_BUFFERSIZE, kChunkSize);
        curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
        // A catalogue entry names the address of its course map: never let it reach a local
        // file or another protocol.
        curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(handle_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(handle_, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle_, CURLOPT_MAXREDIRS, 10L);
        // Nothing is cached by libcurl, and every connection ends with the call.
        curl_easy_setopt(handle_, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, OnProgress);
        curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, &transfer);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request() {
        if (handle_)
            curl_easy_cleanup(handle_);
    }

    bool IsOpen() const { return handle_ != nullptr; }

    template <class Sink> void SetSink(Sink& sink) {
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &Sink::OnChunk);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &sink);
    }

    CURLcode Perform() { return curl_easy_perform(handle_); }

    // True once the server has answered with a status line, that is, once the request opened.
    bool Answered() const {
        long code = 0;
        curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &code);
        return code != 0;
    }

private:
    CURL* handle_ = nullptr;
    std::string url_;
};

struct MemorySink {
    std::uint8_t* buffer;
    std::uint32_t capacity;
    std::uint32_t total = 0;
    bool overflow = false;

    static std::size_t OnChunk(char* data, std::size_t, std::size_t n, void* context) {
        auto* sink = static_cast<MemorySink*>(context);
        if (n > sink->capacity - sink->total) {
            sink->overflow = true;
            return 0; // ends the transfer
        }
        std::memcpy(sink->buffer + sink->total, data, n);
        sink->total += static_cast<std::uint32_t>(n);
        return n;
    }
};

// Creates the file only when the first bytes arrive (or the body turns out empty), so that a
// request that never opened leaves an existing file alone.
struct FileSink {
    std::string path;
    int fd = -1;
    bool failed = false;

    bool Open() {
        if (fd < 0)
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        failed = fd < 0;
        return !failed;
    }

    static std::size_t OnChunk(char* data, std::size_t, std::size_t n, void* context) {
        auto* sink = static_cast<FileSink*>(context);
        if (!sink->Open())
            return 0;
        for (std::size_t done = 0; done < n;) {
            const ssize_t written = ::write(sink->fd, data + done, n - done);
            if (written < 0) {
                sink->failed = true;
                return 0;
            }
            done += static_cast<std::size_t>(written);
        }
        return n;
    }

    ~FileSink() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

int FetchUrlToFile(std::u16string_view url, std::u16string_view path) {
    Transfer transfer;
    Request request(url, transfer);
    if (!request.IsOpen())
        return 0;
    FileSink sink{Utf16ToUtf8(path)};
    request.SetSink(sink);
    if (request.Perform() != CURLE_OK || sink.failed)
        return 0;
    return sink.Open() ? 1 : 0;
}

int FetchUrlToMemory(std::u16string_view url, void* buffer, std::uint32_t capacity) {
    Transfer transfer;
    Request request(url, transfer);
    if (!request.IsOpen())
        return -1;
    MemorySink sink{static_cast<std::uint8_t*>(buffer), capacity};
    request.SetSink(sink);
    const CURLcode result = request.Perform();
    if (sink.overflow)
        return 0;
    if (result != CURLE_OK && !request.Answered())
        return -1;
    return static_cast<int>(sink.total);
}

void SetFetchStallLimit(std::uint32_t limitMs) {
    stallLimitMs.store(limitMs);
}

} // namespace verdal
