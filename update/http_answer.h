// What an HTTP answer is worth to the update: one table decides, for the version request, the
// catalogue file and the course maps alike, whether an answer is a result, keeps the file on the
// disk, is worth another try, or ends the update. Any thread.
#pragma once

#include <cstdint>

namespace verdal {

// What was asked for.
enum class AnswerKind {
    Version,   // the version reply, into memory
    Catalogue, // update.xml, into a file, perhaps conditionally
    Map,       // a course map, into a record's GOF block: exactly kMapBytes
};

// How the body came, as far as the connection tells.
enum class Delivery {
    Whole,     // to its Content-Length, or chunked to its end
    Cut,       // the connection broke off before the end
    Reset,     // the connection was reset or refused
    Stalled,   // nothing, or too little, arrived for the stall limit
    Overflow,  // longer than the caller's buffer holds, or than the file may grow
    Unwritten, // the file it goes to could not be created or written (a full disk)
    Failed,    // the request could not be made (no such host, a bad address, a local failure)
};

struct HttpAnswer {
    long status = 0; // 0 when no status line came
    Delivery delivery = Delivery::Failed;
    bool conditional = false; // If-None-Match or If-Modified-Since was sent
    std::uint64_t size = 0;   // body bytes delivered to the caller
};

enum class Verdict {
    Result, // a 200 whole (a map: of exactly kMapBytes): the body is what was asked for
    Kept,   // a 304 to a conditional request: the file on the disk is the answer
    Retry,  // 408, 429, 5xx, a cut, a reset, a stall: another try may cure it
    End,    // any other status, an overflow, a map of the wrong size: the update ends
};

inline constexpr std::uint32_t kMapBytes = 7264;

Verdict JudgeAnswer(AnswerKind kind, const HttpAnswer& answer);

// Whether the server turned the request away for its load (503, 429, a connection refused or
// reset): the answers that make every transfer of an update wait.
bool TurnedAway(const HttpAnswer& answer);

} // namespace verdal
