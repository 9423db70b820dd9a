// The shared pace of the map transfers, on a clock of the test's own.
#include "update/pacer.h"

#include <gtest/gtest.h>

using namespace verdal;

TEST(Pacer, ATurnedAwayRequestMakesEveryTransferWaitAndFewerRunUntilMapsArrive) {
    Pacer pacer(0);
    EXPECT_TRUE(pacer.MayStart(0, 7));
    EXPECT_FALSE(pacer.MayStart(0, 8)) << "eight connections at most";

    // No Retry-After: a pause that grows from 500 ms, twice as long at each turn-away met once
    // the last pause is over, up to 30 s; the connections halve down to one.
    pacer.TurnedAway(1000, 0);
    EXPECT_EQ(pacer.WaitLeft(1000), 500u);
    EXPECT_FALSE(pacer.MayStart(1499, 0));
    EXPECT_EQ(pacer.Connections(), 4);
    pacer.TurnedAway(1200, 0); // started before the wait: no new sign
    EXPECT_EQ(pacer.WaitLeft(1200), 300u);
    std::uint32_t now = 1500;
    for (std::uint32_t pause : {1000u, 2000u, 4000u, 8000u, 16000u, 30000u, 30000u}) {
        pacer.TurnedAway(now, 0);
        EXPECT_EQ(pacer.WaitLeft(now), pause);
        now += pause;
    }
    EXPECT_EQ(pacer.Connections(), 1);
    EXPECT_TRUE(pacer.MayStart(now, 0));
    EXPECT_FALSE(pacer.MayStart(now, 1));

    // A Retry-After is waited for as asked, two minutes at most.
    pacer.TurnedAway(now, 130000);
    EXPECT_EQ(pacer.WaitLeft(now), 120000u);
    now += 120000;

    // Maps that arrive shorten the pause and give the connections back, one at a time.
    for (int i = 0; i < 200; ++i)
        pacer.Arrived(now);
    EXPECT_EQ(pacer.Connections(), 8);
    pacer.TurnedAway(now, 0);
    EXPECT_EQ(pacer.WaitLeft(now), 500u);
}

TEST(Pacer, ItGivesUpOnlyWhenNoMapHasArrivedForTheLimit) {
    Pacer pacer(0, 300000);
    EXPECT_FALSE(pacer.GivenUp(299999));
    pacer.Arrived(200000);
    for (std::uint32_t now = 200000; now < 499999; now += 1000)
        pacer.TurnedAway(now, 1000);
    EXPECT_FALSE(pacer.GivenUp(499999));
    EXPECT_TRUE(pacer.GivenUp(500000)) << "turned-away answers count as none";
}

TEST(Pacer, OnceTurnedAwayRequestsStartApartUntilTheServerKeepsUp) {
    Pacer pacer(0);
    pacer.Started(0);
    EXPECT_TRUE(pacer.MayStart(0, 1)) << "no spacing before the server objects";
    std::uint32_t now = 0;
    for (int i = 0; i < 3; ++i) {
        pacer.TurnedAway(now, 0);
        now += pacer.WaitLeft(now);
    }
    // 1 ms, 2 ms, 4 ms apart.
    pacer.Started(now);
    EXPECT_FALSE(pacer.MayStart(now + 3, 0));
    EXPECT_TRUE(pacer.MayStart(now + 4, 0));
}
