// Fetching the whole body of a URL from the web service: into a file or into a caller's buffer.
//
// Both operations block the calling thread; call them only from worker threads, never from the
// user-interface thread. Each call stands alone: no handle or connection outlives it, and any
// number of threads may fetch at the same time. A body is a result only when the answer is 200
// and whole (see http_answer.h): an error page, a 503 or a body that broke off never reaches the
// caller's buffer or file.
//
// Every request carries the user agent "InetURL/1.0", gives up connecting after 2000 ms, takes
// its proxy from the environment (http_proxy, no_proxy and their kin), follows redirects, and
// reads the body in chunks of at most 1024 bytes. Only http:// and https:// addresses are
// fetched, and each address is passed through EncodeUrl first. Every request accepts a gzip or
// deflate answer; the caller receives the plain body. A transfer that receives no byte for the
// stall limit (30 s unless changed), or fewer than 1000 bytes a second over that time, fails, so
// a fetch can never hang.
//
// Stopping: a stop requested through stop abandons the transfer in flight within about 100 ms,
// and the call answers its failure value (0 from FetchUrlToFile, -1 from FetchUrlToMemory).
//
// A transfer that stalls fails with "the server sent nothing for 30 s" as its problem.
#pragma once

#include "update/http_answer.h"

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

namespace verdal {

// What identifies one state of a file on the server: its ETag and Last-Modified. Given to
// FetchUrlToFile with either set, they are sent as If-None-Match and If-Modified-Since; when the
// server answers that the file has not changed (304), the fetch succeeds without touching the
// local file and sets unchanged. When the body comes, they are replaced by what the server sent
// with it (empty where it sent none).
// What a fetch's answer was worth (see http_answer.h), and how long the server asked to be left
// alone (Retry-After, at most two minutes; 0 when it asked nothing).
struct FetchAnswer {
    Verdict verdict = Verdict::End;
    std::uint32_t retryAfterMs = 0;
};

struct FileValidators {
    std::string etag;
    std::string lastModified;
    bool unchanged = false;
};

// Writes the body of a 200 answer of the URL to the file at path (UTF-16), created anew or
// truncated once the body begins. Answers 1 when the whole body was read and written (an empty
// body gives an empty file), 0 on any failure: the request could not be made, the server answered
// another status (the file is not touched), the file could not be created or written, the body
// broke off (the file then keeps what was written so far), the body is longer than the file
// limit (see SetFetchFileLimit), or a stop was requested. problem, when given, says why it failed
// ("the disk is full (update.xml)", libcurl's words, "the server answered HTTP 404"); it is left
// empty otherwise. A path ending in ".part" is named without it. answer, when given, receives
// what the answer was worth.
int FetchUrlToFile(std::u16string_view url, std::u16string_view path, std::stop_token stop = {},
                   std::string* problem = nullptr, FileValidators* validators = nullptr,
                   FetchAnswer* answer = nullptr);

// Copies the body of a 200 answer of the URL into buffer, which holds capacity bytes. Answers the
// number of bytes copied (0 for an empty body); 0 when the body is larger than capacity (exactly
// filling it is allowed); -1 when there is no result: the request could not be made, the server
// answered another status, the body broke off, nothing came within 5 s, or a stop was requested.
// problem and answer as for FetchUrlToFile.
int FetchUrlToMemory(std::u16string_view url, void* buffer, std::uint32_t capacity,
                     std::stop_token stop = {}, std::string* problem = nullptr,
                     FetchAnswer* answer = nullptr);

// The time without a received byte after which a transfer is given up, in milliseconds
// (30000 by default). Any thread; applies to fetches that start afterwards.
void SetFetchStallLimit(std::uint32_t stallLimitMs);

// The first pause before a course map that broke off or stalled is tried again (see
// TransferSet), in milliseconds (500 by default); each later pause is twice the one before, up to
// 16 times the first. Any thread; applies to pauses that begin afterwards.
void SetFetchRetryPause(std::uint32_t firstPauseMs);

// How long no course map at all may arrive before an update's map transfers are given up, in
// milliseconds (300000 by default). Any thread; applies to transfer sets made afterwards.
void SetFetchGiveUp(std::uint32_t giveUpMs);

// The largest body FetchUrlToFile writes, in bytes (96 MiB by default): a longer body fails the
// fetch (0), and the file keeps at most this much. Any thread; applies to fetches that start
// afterwards.
void SetFetchFileLimit(std::uint64_t limitBytes);

// The address as it may be handed to the HTTP client: blanks, control bytes, bytes above 0x7E,
// '"', '<', '>', '\' and a '%' that does not begin an escape are written as %XX (upper-case
// hexadecimal); existing %XX escapes and the reserved characters (/ ? # & = : and the like) stay
// as they are, so an address that is already well formed comes back unchanged.
std::string EncodeUrl(std::string_view url);

} // namespace verdal
