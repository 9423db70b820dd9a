// The pace of an update's course map transfers against what the server allows, shared by all of
// them, as download tools pace their connections against a rate limit.
//
// A request the server turns away (503, 429, a connection refused or reset) makes every transfer
// wait: as long as its Retry-After asks (at most two minutes), else for a pause that grows from
// 500 ms, twice as long each time, to 30 s. It also halves the connections in use (down to one)
// and doubles the least time between two requests' starts, so that the transfers settle at the
// rate the server accepts. Each map that arrives shortens the pause and that spacing again (never
// below a little above the spacing last turned away), and
// gives one more connection back (up to eight) once as many maps have arrived as connections are
// open. The update gives up only when no map at all has arrived for the give-up limit (five
// minutes unless changed): turned-away answers count as none.
//
// Bytes in, decisions out: every call takes a steady clock in microseconds as now.
// Not thread-safe; a TransferSet's thread alone uses its pacer.
#pragma once

#include <cstdint>

namespace verdal {

class Pacer {
public:
    static constexpr int kMostConnections = 8;
    static constexpr std::uint32_t kFirstPauseMs = 500;
    static constexpr std::uint32_t kLongestPauseMs = 30000;
    static constexpr std::uint32_t kLongestRetryAfterMs = 120000;

    explicit Pacer(std::uint64_t nowUs, std::uint32_t giveUpMs = 300000);

    // A map arrived whole.
    void Arrived(std::uint64_t nowUs);
    // The server turned a request away; retryAfterMs is what it asked for, 0 when nothing.
    void TurnedAway(std::uint64_t nowUs, std::uint32_t retryAfterMs);

    // Whether a transfer may start now, with running transfers already under way; each start
    // is to be told (Started), so that the next keeps its distance.
    bool MayStart(std::uint64_t nowUs, int running) const;
    void Started(std::uint64_t nowUs);

    // How long every transfer still waits on the server, in milliseconds (rounded up): 0 when
    // none waits.
    std::uint32_t WaitLeft(std::uint64_t nowUs) const;
    int Connections() const { return connections_; }
    // True once no map has arrived for the give-up limit.
    bool GivenUp(std::uint64_t nowUs) const;

private:
    std::uint64_t giveUpUs_;
    std::uint64_t lastArrival_;
    std::uint64_t resume_ = 0;     // no transfer starts before this
    std::uint32_t pause_ = 0;      // the last pause a turn-away caused, in milliseconds
    std::uint64_t spacingUs_ = 0;  // the least time between two starts
    std::uint64_t tooCloseUs_ = 0; // the largest spacing the server turned away, forgotten slowly
    std::uint64_t nextStart_ = 0;  // no transfer starts before this either
    int connections_ = kMostConnections;
    int arrivalsToGrow_ = 0;
};

} // namespace verdal
