// The shared pace of an update's map transfers.
#include "update/pacer.h"

#include <algorithm>

namespace verdal {
namespace {

// Once turned away, requests start at least this far apart, then twice as far at each turn-away.
constexpr std::uint64_t kFirstSpacingUs = 2000;
constexpr std::uint64_t kLongestSpacingUs = 2000000;
// Above the spacing last turned away by an eighth and this much: the requests reach the server
// with some jitter, and its clock counts whole milliseconds.
constexpr std::uint64_t kMarginUs = 500;

} // namespace

Pacer::Pacer(std::uint64_t nowUs, std::uint32_t giveUpMs)
    : giveUpUs_(std::uint64_t{giveUpMs} * 1000), lastArrival_(nowUs) {}

void Pacer::Arrived(std::uint64_t nowUs) {
    lastArrival_ = nowUs;
    pause_ /= 2;
    // The spacing shrinks towards a little above the last one the server turned away, which
    // itself is forgotten slowly: the transfers settle just below the server's rate, and find
    // it again when it changes, without overrunning it at every few maps.
    const std::uint64_t floorUs = tooCloseUs_ > 0 ? tooCloseUs_ + tooCloseUs_ / 8 + kMarginUs : 0;
    spacingUs_ = std::max(spacingUs_ - spacingUs_ / 16, floorUs);
    tooCloseUs_ -= tooCloseUs_ / 8192;
    if (connections_ < kMostConnections && ++arrivalsToGrow_ >= connections_) {
        ++connections_;
        arrivalsToGrow_ = 0;
    }
}

void Pacer::TurnedAway(std::uint64_t nowUs, std::uint32_t retryAfterMs) {
    const std::uint64_t askedUs =
        std::uint64_t{std::min(retryAfterMs, kLongestRetryAfterMs)} * 1000;
    if (nowUs < resume_) {
        // Answers to requests started before the wait began lengthen it only as far as the
        // server asks; they are no new sign of overload.
        resume_ = std::max(resume_, nowUs + askedUs);
        return;
    }
    pause_ = pause_ < kFirstPauseMs ? kFirstPauseMs : std::min(pause_ * 2, kLongestPauseMs);
    tooCloseUs_ = std::max(tooCloseUs_, spacingUs_);
    spacingUs_ = std::clamp(spacingUs_ * 2, kFirstSpacingUs, kLongestSpacingUs);
    connections_ = std::max(1, connections_ / 2);
    arrivalsToGrow_ = 0;
    resume_ = nowUs + (askedUs > 0 ? askedUs : std::uint64_t{pause_} * 1000);
}

bool Pacer::MayStart(std::uint64_t nowUs, int running) const {
    return running < connections_ && nowUs >= resume_ && nowUs >= nextStart_;
}

void Pacer::Started(std::uint64_t nowUs) {
    nextStart_ = nowUs + spacingUs_;
}

std::uint32_t Pacer::WaitLeft(std::uint64_t nowUs) const {
    return nowUs < resume_ ? static_cast<std::uint32_t>((resume_ - nowUs + 999) / 1000) : 0;
}

bool Pacer::GivenUp(std::uint64_t nowUs) const {
    return nowUs - lastArrival_ >= giveUpUs_;
}

} // namespace verdal
