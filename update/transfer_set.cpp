// The transfers of a set: libcurl easy handles on one multi handle, each writing its body into
// a caller's buffer or a file, advanced by the owner's thread in Wait and Advance.
#include "update/transfer_set.h"

#include "platform/trace.h"
#include "update/transfer.h"

#include <curl/curl.h>

#include <chrono>
#include <cstring>
#include <mutex>

namespace verdal {
namespace {

// The longest a wait for socket activity lasts before the loop looks at the stop request and
// the stall clocks again.
constexpr int kPollMs = 100;
// The same while a transfer waits to be started again: the pacer counts in milliseconds.
constexpr int kPausedPollMs = 1;

// The pacer's clock.
std::uint64_t NowUs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

CURLM* Multi(void* multi) {
    return static_cast<CURLM*>(multi);
}

} // namespace

void TransferSet::Wake::operator()() const {
    curl_multi_wakeup(Multi(multi));
}

TransferSet::TransferSet(std::stop_token stop, long connectionsPerHost)
    : stop_(std::move(stop)), pacer_(NowUs(), FetchGiveUp()) {
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
    transfer->startTick = GetTickCount();
    const Id id = nextId_++;
    if (transfer->paced && transfer->easy && multi_) {
        // Started by RestartDue once the pacer lets it.
        transfer->paused = true;
        transfer->restartTick = transfer->startTick;
        transfers_.emplace(id, std::move(transfer));
        RestartDue();
        return id;
    }
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
    if (transfer->Open(url)) {
        transfer->answerLimit = kMemoryAnswerLimitMs;
        curl_easy_setopt(transfer->easy, CURLOPT_TIMEOUT_MS, kMemoryAnswerLimitMs);
    }
    std::memset(buffer, 0, capacity);
    return Start(std::move(transfer));
}

TransferSet::Id TransferSet::StartMap(std::u16string_view url, void* buffer,
                                      std::uint32_t capacity) {
    auto transfer = std::make_unique<Transfer>();
    transfer->kind = AnswerKind::Map;
    transfer->paced = true;
    transfer->buffer = static_cast<std::uint8_t*>(buffer);
    transfer->capacity = capacity;
    transfer->nextPause = FetchRetryPause();
    transfer->Open(url);
    std::memset(buffer, 0, capacity);
    return Start(std::move(transfer));
}

TransferSet::Id TransferSet::StartToFile(std::u16string_view url, std::u16string_view path,
                                         FileValidators* validators) {
    auto transfer = std::make_unique<Transfer>();
    transfer->toFile = true;
    transfer->kind = AnswerKind::Catalogue;
    transfer->path = Utf16ToUtf8(path);
    transfer->fileLimit = FetchFileLimit();
    transfer->Open(url);
    if (validators)
        transfer->MakeConditional(*validators);
    return Start(std::move(transfer));
}

namespace {

// "GET URL STATUS N bytes", and why when the transfer failed.
void TraceFinished(CURL* easy, CURLcode result) {
    const char* url = nullptr;
    long status = 0;
    curl_off_t bytes = 0;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &bytes);
    std::string line = std::string("GET ") + (url ? url : "?") + " " + std::to_string(status) +
                       " " + std::to_string(bytes) + " bytes";
    if (result != CURLE_OK)
        line += std::string(": ") + curl_easy_strerror(result);
    trace::Line("http", line);
}

} // namespace

void TransferSet::CollectFinished() {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(Multi(multi_), &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        char* context = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &context);
        auto* transfer = reinterpret_cast<Transfer*>(context);
        transfer->result = message->data.result;
        if (trace::On())
            TraceFinished(message->easy_handle, message->data.result);
        // Hands the connection back for the next transfer; the handle keeps its results.
        curl_multi_remove_handle(Multi(multi_), transfer->easy);
        transfer->inMulti = false;
        transfer->done = true;
        if (!transfer->paced)
            continue;
        --pacedRunning_;
        const std::uint32_t now = GetTickCount();
        const std::uint64_t nowUs = NowUs();
        const HttpAnswer answer = transfer->Answer();
        const Verdict verdict = JudgeAnswer(transfer->kind, answer);
        if (verdict == Verdict::Result)
            pacer_.Arrived(nowUs);
        if (verdict != Verdict::Retry || stop_.stop_requested() || pacer_.GivenUp(nowUs))
            continue;
        transfer->done = false;
        transfer->paused = true;
        if (TurnedAway(answer)) {
            // Every map waits for the pacer; this one starts again as soon as it lets.
            pacer_.TurnedAway(nowUs, transfer->RetryAfterMs());
            transfer->restartTick = now;
        } else {
            transfer->restartTick = now + transfer->Pause();
        }
    }
}

int TransferSet::RestartDue() {
    int started = 0;
    const std::uint32_t now = GetTickCount();
    const std::uint64_t nowUs = NowUs();
    for (auto& [id, transfer] : transfers_) {
        if (!transfer->paused || static_cast<std::int32_t>(now - transfer->restartTick) < 0)
            continue;
        if (transfer->paced && !pacer_.MayStart(nowUs, pacedRunning_))
            continue;
        transfer->Reset();
        transfer->inMulti = curl_multi_add_handle(Multi(multi_), transfer->easy) == CURLM_OK;
        transfer->done = !transfer->inMulti;
        started += transfer->inMulti;
        if (transfer->paced && transfer->inMulti) {
            ++pacedRunning_;
            pacer_.Started(nowUs);
        }
    }
    return started;
}

void TransferSet::Turn() {
    RestartDue();
    int running = 0;
    curl_multi_perform(Multi(multi_), &running);
    CollectFinished();
    // The transfers that take the place of those just ended send their requests at once.
    if (RestartDue() > 0)
        curl_multi_perform(Multi(multi_), &running);
}

bool TransferSet::WaitsOnTheClock() const {
    // A paced transfer held back only because every connection is busy starts when one of them
    // ends, which wakes the wait anyway.
    const bool slotFree = pacedRunning_ < pacer_.Connections();
    for (const auto& [id, transfer] : transfers_)
        if (transfer->paused && (!transfer->paced || slotFree))
            return true;
    return false;
}

void TransferSet::Advance() {
    if (!multi_ || stop_.stop_requested())
        return;
    Turn();
}

void TransferSet::TellBusy() {
    if (!onBusy_)
        return;
    const std::uint32_t left = pacer_.WaitLeft(NowUs());
    const std::uint32_t seconds = (left + 999) / 1000;
    if (seconds == busyShown_)
        return;
    busyShown_ = seconds;
    onBusy_(left);
}

std::optional<int> TransferSet::Wait(Id id, std::string* problem, FetchAnswer* answer) {
    const auto found = transfers_.find(id);
    if (found == transfers_.end())
        return std::nullopt;
    Transfer& transfer = *found->second;
    while (!transfer.done) {
        if (stop_.stop_requested())
            return std::nullopt;
        Turn();
        TellBusy();
        if (!transfer.done) {
            // A paused transfer waits on the clock and the pacer, not on a socket.
            const int poll = WaitsOnTheClock() ? kPausedPollMs : kPollMs;
            curl_multi_poll(Multi(multi_), nullptr, 0, poll, nullptr);
        }
    }
    if (stop_.stop_requested())
        return std::nullopt;
    const int result = transfer.Result();
    if (problem)
        *problem = transfer.Problem();
    if (answer) {
        answer->verdict = transfer.Judged();
        answer->retryAfterMs = transfer.RetryAfterMs();
    }
    transfers_.erase(found);
    return result;
}

} // namespace verdal
