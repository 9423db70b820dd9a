// The transfers of a set: libcurl easy handles on one multi handle, each writing its body into
// a caller's buffer or a file, advanced by the owner's thread in Wait and Advance.
#include "update/transfer_set.h"

#include "platform/event.h"
#include "platform/file.h"
#include "platform/text.h"
#include "update/http_fetch.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

namespace verdal {
namespace {

constexpr char kUserAgent[] = "InetURL/1.0";
constexpr long kConnectTimeoutMs = 2000;
// The body arrives in chunks no larger than this.
constexpr long kChunkSize = 1024;
// The longest a wait for socket activity lasts before the loop looks at the stop request and
// the stall clocks again.
constexpr int kPollMs = 100;

std::atomic<std::uint32_t> stallLimitMs{30000};
// A catalogue file is a few megabytes; a body far beyond that is not one, and must not fill the
// disk.
std::atomic<std::uint64_t> fileLimitBytes{256u << 20};

CURLM* Multi(void* multi) {
    return static_cast<CURLM*>(multi);
}

} // namespace

struct TransferSet::Transfer {
    CURL* easy = nullptr;
    bool inMulti = false;
    bool done = false;
    CURLcode result = CURLE_OK;

    // The stall clock starts when libcurl first reports on the transfer, so that time spent
    // queued for a free connection never counts as a stall.
    const std::stop_token* stop = nullptr;
    std::uint32_t stallLimit = 0;
    bool reported = false;
    std::uint32_t lastByteTick = 0;
    curl_off_t lastReceived = 0;

    // Into memory.
    std::uint8_t* buffer = nullptr;
    std::uint32_t capacity = 0;
    std::uint32_t total = 0;
    bool overflow = false;

    // Into a file.
    bool toFile = false;
    std::string path;
    WrittenFile file;
    bool fileFailed = false;
    int fileError = 0; // errno of the file's failure; 0 when the limit ended it
    std::uint64_t written = 0;
    std::uint64_t fileLimit = 0;

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
        if (easy)
            curl_easy_cleanup(easy);
    }

    bool OpenFile() {
        const FileFailure failure = file.Create(path);
        fileFailed = static_cast<bool>(failure);
        if (fileFailed)
            fileError = failure.error;
        return !fileFailed;
    }

    // Why the transfer failed, in words for the status line; or, for one that succeeded, the
    // server's error status whose body it took. Empty when there is nothing to say.
    std::string Problem() const {
        if (!easy)
            return "the request cannot be made";
        const std::string file = path.substr(path.rfind('/') + 1);
        if (fileFailed && fileError == ENOSPC)
            return "the disk is full (" + file + ")";
        if (fileFailed && fileError != 0)
            return file + ": " + std::strerror(fileError);
        if (fileFailed)
            return file + " would pass " + std::to_string(fileLimit >> 20) + " MiB";
        if (overflow)
            return "the server sent more than " + std::to_string(capacity) + " bytes";
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        if (result != CURLE_OK)
            return curl_easy_strerror(result);
        if (code >= 400)
            return "the server answered HTTP " + std::to_string(code);
        return {};
    }

    // True once the server has answered with a status line, that is, once the request opened.
    bool Answered() const {
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        return code != 0;
    }

    int Result() {
        if (toFile) {
            if (!easy || result != CURLE_OK || fileFailed)
                return 0;
            return OpenFile() ? 1 : 0;
        }
        if (!easy)
            return -1;
        if (overflow)
            return 0;
        if (result != CURLE_OK && !Answered())
            return -1;
        return static_cast<int>(total);
    }

    static std::size_t OnChunk(char* data, std::size_t, std::size_t n, void* context) {
        auto* transfer = static_cast<Transfer*>(context);
        if (transfer->toFile) {
            if (!transfer->OpenFile())
                return 0;
            if (n > transfer->fileLimit - transfer->written) {
                transfer->fileFailed = true;
                return 0; // ends the transfer
            }
            transfer->written += n;
            if (const FileFailure failure = transfer->file.Write(data, n)) {
                transfer->fileFailed = true;
                transfer->fileError = failure.error;
                return 0;
            }
            return n;
        }
        if (n > transfer->capacity - transfer->total) {
            transfer->overflow = true;
            return 0; // ends the transfer
        }
        std::memcpy(transfer->buffer + transfer->total, data, n);
        transfer->total += static_cast<std::uint32_t>(n);
        return n;
    }

    // Gives the transfer up when a stop is requested or no byte has arrived for the stall limit.
    // libcurl calls this each time the transfer is advanced, also while nothing arrives.
    static int OnProgress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
        auto* transfer = static_cast<Transfer*>(context);
        if (transfer->stop->stop_requested())
            return 1;
        const std::uint32_t now = GetTickCount();
        if (!transfer->reported || received != transfer->lastReceived) {
            transfer->reported = true;
            transfer->lastReceived = received;
            transfer->lastByteTick = now;
            return 0;
        }
        return now - transfer->lastByteTick > transfer->stallLimit ? 1 : 0;
    }

    // Sets up the easy handle the way every fetch needs it; false when libcurl cannot make one.
    bool Open(std::u16string_view url) {
        easy = curl_easy_init();
        if (!easy)
            return false;
        stallLimit = stallLimitMs.load();
        const std::string address = EncodeUrl(Utf16ToUtf8(url));
        curl_easy_setopt(easy, CURLOPT_URL, address.c_str()); // libcurl keeps a copy
        curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kChunkSize);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        // A catalogue entry names the address of its course map: never let it reach a local
        // file or another protocol.
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        // Where the server speaks HTTP/2, later requests wait for the first connection and
        // share it rather than opening connections of their own.
        curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnChunk);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
        return true;
    }
};

void TransferSet::Wake::operator()() const {
    curl_multi_wakeup(Multi(multi));
}

TransferSet::TransferSet(std::stop_token stop, long connectionsPerHost) : stop_(std::move(stop)) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    multi_ = curl_multi_init();
    if (!multi_)
        return;
    curl_multi_setopt(Multi(multi_), CURLMOPT_MAX_HOST_CONNECTIONS, connectionsPerHost);
    curl_multi_setopt(Multi(multi_), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    wakeOnStop_ = std::make_unique<std::stop_callback<Wake>>(stop_, Wake{multi_});
}

TransferSet::~TransferSet() {
    wakeOnStop_.reset();
    for (auto& [id, transfer] : transfers_) {
        if (transfer->inMulti)
            curl_multi_remove_handle(Multi(multi_), transfer->easy);
    }
    transfers_.clear();
    if (multi_)
        curl_multi_cleanup(Multi(multi_));
}

TransferSet::Id TransferSet::Start(std::unique_ptr<Transfer> transfer) {
    transfer->stop = &stop_;
    const Id id = nextId_++;
    if (transfer->easy && multi_ && !stop_.stop_requested())
        transfer->inMulti = curl_multi_add_handle(Multi(multi_), transfer->easy) == CURLM_OK;
    if (!transfer->inMulti) {
        // The request cannot be made: the transfer ends at once as one that never opened.
        if (transfer->easy)
            curl_easy_cleanup(transfer->easy);
        transfer->easy = nullptr;
        transfer->done = true;
    }
    transfers_.emplace(id, std::move(transfer));
    return id;
}

TransferSet::Id TransferSet::StartToMemory(std::u16string_view url, void* buffer,
                                           std::uint32_t capacity) {
    auto transfer = std::make_unique<Transfer>();
    transfer->buffer = static_cast<std::uint8_t*>(buffer);
    transfer->capacity = capacity;
    transfer->Open(url);
    return Start(std::move(transfer));
}

TransferSet::Id TransferSet::StartToFile(std::u16string_view url, std::u16string_view path) {
    auto transfer = std::make_unique<Transfer>();
    transfer->toFile = true;
    transfer->path = Utf16ToUtf8(path);
    transfer->fileLimit = fileLimitBytes.load();
    transfer->Open(url);
    return Start(std::move(transfer));
}

void TransferSet::CollectFinished() {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(Multi(multi_), &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        char* context = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &context);
        auto* transfer = reinterpret_cast<Transfer*>(context);
        transfer->result = message->data.result;
        transfer->done = true;
        // Hands the connection back for the next transfer; the handle keeps its results.
        curl_multi_remove_handle(Multi(multi_), transfer->easy);
        transfer->inMulti = false;
    }
}

void TransferSet::Advance() {
    if (!multi_ || stop_.stop_requested())
        return;
    int running = 0;
    curl_multi_perform(Multi(multi_), &running);
    CollectFinished();
}

std::optional<int> TransferSet::Wait(Id id, std::string* problem) {
    const auto found = transfers_.find(id);
    if (found == transfers_.end())
        return std::nullopt;
    Transfer& transfer = *found->second;
    while (!transfer.done) {
        if (stop_.stop_requested())
            return std::nullopt;
        int running = 0;
        curl_multi_perform(Multi(multi_), &running);
        CollectFinished();
        if (!transfer.done)
            curl_multi_poll(Multi(multi_), nullptr, 0, kPollMs, nullptr);
    }
    if (stop_.stop_requested())
        return std::nullopt;
    const int result = transfer.Result();
    if (problem)
        *problem = transfer.Problem();
    transfers_.erase(found);
    return result;
}

void SetFetchStallLimit(std::uint32_t limitMs) {
    stallLimitMs.store(limitMs);
}

void SetFetchFileLimit(std::uint64_t limitBytes) {
    fileLimitBytes.store(limitBytes);
}

} // namespace verdal
