// The shared pace of an update's map transfers.
#include "update/pacer.h"

#include <algorithm>

namespace verdal {
namespace {

// Once turned away, requests start at least this far apart, then twice as far at each turn-away.
constexpr std::uint32_t kFirstSpacingUs = 1000;
constexpr std::uint32_t kLongestSpacingUs = 2000000;

bool Before(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b) < 0;
}

} // namespace

Pacer::Pacer(std::uint32_t now, std::uint32_t giveUpMs)
    : giveUpMs_(giveUpMs), lastArrival_(now), resume_(now) {}

void Pacer::Arrived(std::uint32_t now) {
    lastArrival_ = now;
    pause_ /= 2;
    // The spacing shrinks slowly: a server's rate is found again after a few hundred maps,
    // rather than being overrun at the next.
    spacingUs_ -= spacingUs_ / 256;
    if (connections_ < kMostConnections && ++arrivalsToGrow_ >= connections_) {
        ++connections_;
        arrivalsToGrow_ = 0;
    }
}

void Pacer::TurnedAway(std::uint32_t now, std::uint32_t retryAfterMs) {
    const std::uint32_t asked = std::min(retryAfterMs, kLongestRetryAfterMs);
    if (WaitLeft(now) > 0) {
        // Answers to requests started before the wait began lengthen it only as far as the
        // server asks; they are no new sign of overload.
        if (Before(resume_, now + asked))
            resume_ = now + asked;
        return;
    }
    pause_ = pause_ < kFirstPauseMs ? kFirstPauseMs : std::min(pause_ * 2, kLongestPauseMs);
    spacingUs_ =
        spacingUs_ < kFirstSpacingUs ? kFirstSpacingUs : std::min(spacingUs_ * 2, kLongestSpacingUs);
    connections_ = std::max(1, connections_ / 2);
    arrivalsToGrow_ = 0;
    resume_ = now + (asked > 0 ? asked : pause_);
    waiting_ = true;
}

bool Pacer::MayStart(std::uint32_t now, int running) const {
    if (running >= connections_)
        return false;
    if (waiting_ && Before(now, resume_))
        return false;
    return !started_ || spacingUs_ == 0 ||
           static_cast<std::uint64_t>(now - lastStart_) * 1000 >= spacingUs_;
}

void Pacer::Started(std::uint32_t now) {
    lastStart_ = now;
    started_ = true;
}

std::uint32_t Pacer::WaitLeft(std::uint32_t now) const {
    return waiting_ && Before(now, resume_) ? resume_ - now : 0;
}

bool Pacer::GivenUp(std::uint32_t now) const {
    return now - lastArrival_ >= giveUpMs_;
}

} // namespace verdal
