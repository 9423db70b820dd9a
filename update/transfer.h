// One transfer of a TransferSet: a libcurl easy handle with what it fetches into, the clocks that
// tell a stall, and what it needs to be tried again. Used by transfer_set.cpp alone; the set
// owns each transfer and advances it on its own thread.
#pragma once

#include "platform/event.h"
#include "platform/file.h"
#include "platform/language.h"
#include "platform/text.h"
#include "update/http_answer.h"
#include "update/http_fetch.h"
#include "update/transfer_set.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace verdal {

inline constexpr char kUserAgent[] = "InetURL/1.0";
inline constexpr char kPartSuffix[] = ".part";
inline constexpr long kConnectTimeoutMs = 2000;
// The body arrives in chunks no larger than this.
inline constexpr long kChunkSize = 1024;
// The longest pause between two tries of a map that broke off: 16 times the first.
inline constexpr std::uint32_t kPauseGrowth = 16;
// The longest a server's Retry-After is waited for.
inline constexpr curl_off_t kLongestRetryAfterS = 120;
// A transfer slower than this for the stall limit is given up as stalled.
inline constexpr long kLowestSpeed = 1000; // bytes a second
// The version reply is under 1 KB: a server that has not sent it in this time will not.
inline constexpr long kMemoryAnswerLimitMs = 5000;

// The limits as SetFetchStallLimit, SetFetchRetryPause and SetFetchFileLimit last set them.
std::uint32_t FetchStallLimit();
std::uint32_t FetchRetryPause();
std::uint64_t FetchFileLimit();
std::uint32_t FetchGiveUp();

// Why a stalled transfer failed: "the server sent nothing for 30 s", or "... for 1500 ms" for a
// limit that is no whole number of seconds; in the session's language.
std::string StallProblem(std::uint32_t ms);
// Why a transfer that dripped failed: "the server sent fewer than 1000 bytes/s for 30 s".
std::string SlowProblem(std::uint32_t seconds);
// The seconds of libcurl's low-speed limit for a stall limit: at least one.
inline long LowSpeedSeconds(std::uint32_t stallLimitMs) {
    return std::max<long>(1, static_cast<long>(stallLimitMs / 1000));
}

// libcurl's words for a failed transfer, in the session's language: a translated table of the
// failures a user meets, in libcurl's own English; libcurl's own words for the rest.
std::string CurlProblem(CURLcode result);

// The value of a header line "Name: value\r\n" when its name is the given one (any case).
std::optional<std::string> HeaderValue(std::string_view line, std::string_view name);

struct TransferSet::Transfer {
    CURL* easy = nullptr;
    bool inMulti = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    AnswerKind kind = AnswerKind::Version;
    // A map transfer: started, and tried again, when the set's pacer lets it.
    bool paced = false;
    std::uint32_t startTick = 0;
    std::uint32_t answerLimit = 0; // ms for the whole transfer; 0 for none

    // The stall clock starts when libcurl first reports on the transfer, so that time spent
    // queued for a free connection never counts as a stall.
    const std::stop_token* stop = nullptr;
    std::uint32_t stallLimit = 0;
    bool stalled = false;
    bool reported = false;
    std::uint32_t lastByteTick = 0;
    curl_off_t lastReceived = 0;

    // Trying again: the next pause, and while paused, when to start again.
    std::uint32_t nextPause = 0;
    bool paused = false;
    std::uint32_t restartTick = 0;

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
    FileValidators* validators = nullptr;
    curl_slist* conditions = nullptr; // If-None-Match and If-Modified-Since

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
        if (easy)
            curl_easy_cleanup(easy);
        curl_slist_free_all(conditions);
    }

    long Status() const {
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    // How the body came, and what the answer is worth.
    HttpAnswer Answer() const {
        HttpAnswer answer;
        answer.status = easy ? Status() : 0;
        answer.conditional = conditions != nullptr;
        answer.size = toFile ? written : total;
        if (!easy)
            answer.delivery = Delivery::Failed;
        else if (overflow || (fileFailed && fileError == 0))
            answer.delivery = Delivery::Overflow;
        else if (stalled)
            answer.delivery = Delivery::Stalled;
        else if (fileFailed)
            answer.delivery = Delivery::Unwritten;
        else
            switch (result) {
            case CURLE_OK:
                answer.delivery = Delivery::Whole;
                break;
            case CURLE_PARTIAL_FILE:
            case CURLE_GOT_NOTHING:
            case CURLE_BAD_CONTENT_ENCODING:
                answer.delivery = Delivery::Cut;
                break;
            case CURLE_COULDNT_CONNECT:
            case CURLE_SEND_ERROR:
            case CURLE_RECV_ERROR:
                answer.delivery = Delivery::Reset;
                break;
            case CURLE_OPERATION_TIMEDOUT:
                answer.delivery = Delivery::Stalled;
                break;
            default:
                answer.delivery = Delivery::Failed;
            }
        return answer;
    }
    Verdict Judged() const { return JudgeAnswer(kind, Answer()); }

    // What the server's Retry-After asks for, in milliseconds (at most two minutes); 0 for none.
    std::uint32_t RetryAfterMs() const {
        curl_off_t asked = -1;
        if (easy)
            curl_easy_getinfo(easy, CURLINFO_RETRY_AFTER, &asked);
        return asked > 0 ? static_cast<std::uint32_t>(std::min(asked, kLongestRetryAfterS) * 1000)
                         : 0;
    }

    // The pause before a map that broke off is tried again: the next of the growing pauses.
    std::uint32_t Pause() {
        const std::uint32_t pause = nextPause;
        nextPause = std::min(nextPause * 2, FetchRetryPause() * kPauseGrowth);
        return pause;
    }

    // Forgets what the last try received, before the next.
    void Reset() {
        result = CURLE_OK;
        stalled = reported = false;
        lastReceived = 0;
        total = 0;
        overflow = false;
        done = paused = false;
        // Each try starts from an empty block: nothing of an earlier answer stays behind the
        // bytes of the next.
        if (buffer)
            std::memset(buffer, 0, capacity);
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
            return Tr("the request cannot be made");
        // A download lands in NAME.part until it is whole; the user knows it by NAME.
        std::string file = path.substr(path.rfind('/') + 1);
        if (file.ends_with(kPartSuffix))
            file.resize(file.size() - std::strlen(kPartSuffix));
        if (fileFailed && fileError == ENOSPC)
            // TRANSLATORS: the file that could not be written (update.xml).
            return Format(Tr("the disk is full (%s)"), file.c_str());
        if (fileFailed && fileError != 0)
            return file + ": " + std::strerror(fileError);
        if (fileFailed)
            return Format(Tr("%s would pass %llu MiB"), file.c_str(),
                          static_cast<unsigned long long>(fileLimit >> 20));
        if (overflow)
            return Format(Tr("the server sent more than %zu bytes"),
                          static_cast<std::size_t>(capacity));
        // libcurl's low-speed limit ends a transfer that sends nothing at about the time the
        // stall clock would (its clock and ours differ by a few milliseconds): one that received
        // nothing for most of the limit is named a stall.
        if (stalled || (result == CURLE_OPERATION_TIMEDOUT && answerLimit == 0 && reported &&
                        GetTickCount() - lastByteTick >= stallLimit / 10 * 9))
            return StallProblem(stallLimit);
        const long code = Status();
        if (result == CURLE_OPERATION_TIMEDOUT && answerLimit > 0 &&
            GetTickCount() - startTick >= answerLimit)
            // TRANSLATORS: the seconds waited for the server's answer.
            return Format(Tr("the server did not answer within %u s"), answerLimit / 1000);
        if (result == CURLE_OPERATION_TIMEDOUT)
            return SlowProblem(static_cast<std::uint32_t>(LowSpeedSeconds(stallLimit)));
        if (result != CURLE_OK)
            return CurlProblem(result);
        if (code != 200 && code != 304 && code != 0)
            return Format(Tr("the server answered HTTP %ld"), code);
        if (code == 304 && Judged() != Verdict::Kept)
            return Format(Tr("the server answered HTTP %ld"), code);
        return {};
    }

    // True once the server has answered with a status line, that is, once the request opened.
    bool Answered() const { return Status() != 0; }

    // What the fetch answers: 1 or 0 into a file, the bytes or 0 or -1 into memory (a whole
    // answer of the wrong size answers its size, for the caller to name).
    int Result() {
        const Verdict verdict = Judged();
        if (toFile) {
            if (verdict == Verdict::Kept) {
                validators->unchanged = true;
                return 1; // the file as it is holds the body
            }
            return verdict == Verdict::Result && OpenFile() ? 1 : 0;
        }
        if (overflow)
            return 0;
        const HttpAnswer answer = Answer();
        if (verdict == Verdict::Result ||
            (answer.delivery == Delivery::Whole && answer.status == 200))
            return static_cast<int>(total);
        return -1;
    }

    // Only the body of a 200 is kept: an error page never lands where a result belongs.
    bool Wanted() const { return Status() == 200; }

    static std::size_t OnChunk(char* data, std::size_t, std::size_t n, void* context) {
        auto* transfer = static_cast<Transfer*>(context);
        if (!transfer->Wanted())
            return n;
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
        transfer->stalled = now - transfer->lastByteTick > transfer->stallLimit;
        return transfer->stalled ? 1 : 0;
    }

    // Keeps the validators of the answer (of the last answer, after a redirect).
    static std::size_t OnHeader(char* data, std::size_t, std::size_t n, void* context) {
        auto* transfer = static_cast<Transfer*>(context);
        const std::string_view line(data, n);
        FileValidators& validators = *transfer->validators;
        if (line.rfind("HTTP/", 0) == 0) {
            validators.etag.clear();
            validators.lastModified.clear();
        } else if (auto etag = HeaderValue(line, "ETag")) {
            validators.etag = std::move(*etag);
        } else if (auto modified = HeaderValue(line, "Last-Modified")) {
            validators.lastModified = std::move(*modified);
        }
        return n;
    }

    // Asks for the body only when it differs from the one the validators describe, and keeps
    // the validators of the answer.
    void MakeConditional(FileValidators& given) {
        validators = &given;
        given.unchanged = false;
        if (!given.etag.empty())
            conditions = curl_slist_append(conditions, ("If-None-Match: " + given.etag).c_str());
        if (!given.lastModified.empty())
            conditions =
                curl_slist_append(conditions, ("If-Modified-Since: " + given.lastModified).c_str());
        if (!easy)
            return;
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, conditions);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    }

    // Sets up the easy handle the way every fetch needs it; false when libcurl cannot make one.
    bool Open(std::u16string_view url) {
        easy = curl_easy_init();
        if (!easy)
            return false;
        stallLimit = FetchStallLimit();
        const std::string address = EncodeUrl(Utf16ToUtf8(url));
        curl_easy_setopt(easy, CURLOPT_URL, address.c_str()); // libcurl keeps a copy
        curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kChunkSize);
        // A server that drips its bytes holds a worker as long as one that sends none.
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, kLowestSpeed);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, LowSpeedSeconds(stallLimit));
        // Every answer may come compressed; what reaches the caller is the plain body.
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
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

} // namespace verdal
