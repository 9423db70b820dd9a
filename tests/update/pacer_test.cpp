// The shared pace of the map transfers, on a clock of the test's own (in milliseconds here,
// given to the pacer in microseconds).
#include "update/pacer.h"

#include <gtest/gtest.h>

using namespace verdal;

namespace {
constexpr std::uint64_t operator""_ms(unsigned long long ms) {
    return ms * 1000;
}
std::uint64_t Ms(std::uint64_t ms) {
    return ms * 1000;
}
} // namespace

TEST(Pacer, ATurnedAwayRequestMakesEveryTransferWaitAndFewerRunUntilMapsArrive) {
    Pacer pacer(0_ms);
    EXPECT_TRUE(pacer.MayStart(0_ms, 7));
    EXPECT_FALSE(pacer.MayStart(0_ms, 8)) << "eight connections at most";

    // No Retry-After: a pause that grows from 500 ms, twice as long at each turn-away met once
    // the last pause is over, up to 30 s; the connections halve down to one.
    pacer.TurnedAway(1000_ms, 0);
    EXPECT_EQ(pacer.WaitLeft(1000_ms), 500u);
    EXPECT_FALSE(pacer.MayStart(1499_ms, 0));
    EXPECT_EQ(pacer.Connections(), 4);
    pacer.TurnedAway(1200_ms, 0); // started before the wait: no new sign
    EXPECT_EQ(pacer.WaitLeft(1200_ms), 300u);
    std::uint64_t now = 1500;
    for (std::uint32_t pause : {1000u, 2000u, 4000u, 8000u, 16000u, 30000u, 30000u}) {
        pacer.TurnedAway(Ms(now), 0);
        EXPECT_EQ(pacer.WaitLeft(Ms(now)), pause);
        now += pause;
    }
    EXPECT_EQ(pacer.Connections(), 1);
    EXPECT_TRUE(pacer.MayStart(Ms(now), 0));
    EXPECT_FALSE(pacer.MayStart(Ms(now), 1));

    // A Retry-After is waited for as asked, two minutes at most.
    pacer.TurnedAway(Ms(now), 130000);
    EXPECT_EQ(pacer.WaitLeft(Ms(now)), 120000u);
    now += 120000;

    // Maps that arrive shorten the pause and give the connections back, one at a time.
    for (int i = 0; i < 200; ++i)
        pacer.Arrived(Ms(now));
    EXPECT_EQ(pacer.Connections(), 8);
    pacer.TurnedAway(Ms(now), 0);
    EXPECT_EQ(pacer.WaitLeft(Ms(now)), 500u);
}

TEST(Pacer, ItGivesUpOnlyWhenNoMapHasArrivedForTheLimit) {
    Pacer pacer(0_ms, 300000);
    EXPECT_FALSE(pacer.GivenUp(299999_ms));
    pacer.Arrived(200000_ms);
    for (std::uint64_t now = 200000; now < 499999; now += 1000)
        pacer.TurnedAway(Ms(now), 1000);
    EXPECT_FALSE(pacer.GivenUp(499999_ms));
    EXPECT_TRUE(pacer.GivenUp(500000_ms)) << "turned-away answers count as none";
}

TEST(Pacer, OnceTurnedAwayRequestsStartApartUntilTheServerKeepsUp) {
    Pacer pacer(0_ms);
    pacer.Started(0_ms);
    EXPECT_TRUE(pacer.MayStart(0_ms, 1)) << "no spacing before the server objects";
    std::uint64_t now = 0;
    for (int i = 0; i < 3; ++i) {
        pacer.TurnedAway(Ms(now), 0);
        now += pacer.WaitLeft(Ms(now));
    }
    // 2 ms, 4 ms, 8 ms apart.
    pacer.Started(Ms(now));
    EXPECT_FALSE(pacer.MayStart(Ms(now + 7), 0));
    EXPECT_TRUE(pacer.MayStart(Ms(now + 8), 0));
    // Maps that arrive bring the spacing down to a little above the 4 ms turned away last.
    for (int i = 0; i < 100; ++i)
        pacer.Arrived(Ms(now));
    pacer.Started(Ms(now));
    EXPECT_FALSE(pacer.MayStart(Ms(now + 4), 0));
    EXPECT_TRUE(pacer.MayStart(Ms(now + 5), 0));
}

TEST(Pacer, MapsThatArriveWithoutATurnAwayNeverSlowTheTransfers) {
    Pacer pacer(0_ms);
    for (int i = 0; i < 10; ++i) {
        pacer.Started(Ms(i));
        pacer.Arrived(Ms(i));
        EXPECT_TRUE(pacer.MayStart(Ms(i), 7));
    }
}
