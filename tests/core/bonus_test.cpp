// Bonus items: their schedule on whole seconds of play, placement, expiry, catch and rewards.
#include <gtest/gtest.h>

#include "fake_host.h"

namespace {

// A Classic game with bonus items whose pieces stay out of the way unless a test places one.
struct BonusRig : CoreRig {
    explicit BonusRig(int mode = 1) : CoreRig(mode) { core.state.lastStepTime = 1.0e6f; }
    void PassAt(int seconds) {
        core.state.elapsedSeconds = seconds;
        core.RunBonusPass();
    }
};

// A seed under which the points item appears at its first attempt in an empty well.
uint32_t SeedWherePointsBonusAppears() {
    for (uint32_t seed = 1; seed < 1000; ++seed) {
        BonusRig rig;
        SeedRandom(seed);
        rig.PassAt(11);
        if (rig.core.state.bonus[0].active) {
            return seed;
        }
    }
    return 0;
}

TEST(Bonus, FirstPointsAttemptComesAtElevenSecondsOfPlay) {
    BonusRig rig;
    for (float t = 0.5f; t < 11.0f; t += 0.5f) {
        rig.core.AdvancePlay(t);
        ASSERT_EQ(rig.core.state.bonus[0].stamp, 0) << t;
    }
    rig.core.AdvancePlay(11.0f);
    EXPECT_EQ(rig.core.state.bonus[0].stamp, 11);
    EXPECT_EQ(rig.core.state.bonus[1].stamp, 0);
    rig.PassAt(90);
    EXPECT_EQ(rig.core.state.bonus[1].stamp, 0);
    rig.PassAt(91);
    EXPECT_EQ(rig.core.state.bonus[1].stamp, 91);
}

TEST(Bonus, AppearsOnAFreePositionAndExpiresElevenSecondsLater) {
    const uint32_t seed = SeedWherePointsBonusAppears();
    ASSERT_NE(seed, 0u);
    BonusRig rig;
    SeedRandom(seed);
    rig.PassAt(11);
    const BonusItem& item = rig.core.state.bonus[0];
    ASSERT_TRUE(item.active);
    EXPECT_GE(item.column, 1);
    EXPECT_LE(item.column, 12);
    EXPECT_GE(item.row, 3);
    EXPECT_LE(item.row, 20);
    EXPECT_EQ(rig.host.CountEffect(EffectBonus), 1);
    rig.PassAt(21);
    EXPECT_TRUE(item.active);
    rig.PassAt(22);
    EXPECT_FALSE(item.active);
    EXPECT_EQ(item.stamp, 22);
    EXPECT_EQ(rig.host.CountEffect(EffectBonus), 2);
    ASSERT_EQ(rig.host.EventsOf(GameEventKind::BonusExpired).size(), 1u);
    rig.PassAt(32);
    EXPECT_EQ(item.stamp, 22);
    rig.PassAt(33);
    EXPECT_EQ(item.stamp, 33);
}

TEST(Bonus, TenRejectedAttemptsPlaceNothingAndSayNothing) {
    const uint32_t seed = SeedWherePointsBonusAppears();
    ASSERT_NE(seed, 0u);
    BonusRig rig;
    for (int row = 3; row <= 20; ++row) {
        for (int c = 1; c <= 12; ++c) {
            rig.core.AppendWellCell(MakeCell(c, row));
        }
    }
    SeedRandom(seed);
    rig.PassAt(11);
    EXPECT_FALSE(rig.core.state.bonus[0].active);
    EXPECT_EQ(rig.core.state.bonus[0].stamp, 11);
    EXPECT_TRUE(rig.host.effects.empty());
    const int afterPass = RandomInt(0, 30000);
    // Exactly the chance draw and ten position draws were made.
    SeedRandom(seed);
    RandomInt(1, 3);
    for (int i = 0; i < 10; ++i) {
        RandomInt(1, 12);
        RandomInt(3, 20);
    }
    EXPECT_EQ(RandomInt(0, 30000), afterPass);
    rig.PassAt(21);
    EXPECT_EQ(rig.core.state.bonus[0].stamp, 11);
}

TEST(Bonus, NeverAppearsWhenBonusesAreOff) {
    BonusRig rig(0);
    for (int s = 0; s <= 400; ++s) {
        rig.PassAt(s);
        ASSERT_FALSE(rig.core.state.bonus[0].active || rig.core.state.bonus[1].active);
    }
    EXPECT_TRUE(rig.host.effects.empty());
}

TEST(Bonus, CaughtByThePieceOnItsRowOrTheRowBelow) {
    BonusRig rig;
    BonusItem& item = rig.core.state.bonus[0];
    item = BonusItem{1, 4, 10, 30};
    rig.PlacePiece(1, 4, 13);  // rows 12 to 15: passes the item's row + 1 only later
    rig.PassAt(31);
    EXPECT_TRUE(item.active);
    rig.PlacePiece(1, 4, 12);  // top cell on row 11, directly below the item
    rig.PassAt(31);
    EXPECT_FALSE(item.active);
    EXPECT_EQ(item.stamp, 31);
    EXPECT_EQ(rig.core.state.score, 500);
    EXPECT_EQ(rig.host.CountEffect(EffectGetBonus), 1);
    const auto caught = rig.host.EventsOf(GameEventKind::BonusCaught);
    ASSERT_EQ(caught.size(), 1u);
    EXPECT_EQ(caught[0].b, 4);
    EXPECT_EQ(caught[0].c, 10);
}

TEST(Bonus, ClearBonusEmptiesTheWellWhenASettledCellCoversIt) {
    BonusRig rig;
    for (int c = 1; c <= 11; ++c) {
        rig.core.AppendWellCell(MakeCell(c, 20));
    }
    rig.core.state.bonus[1] = BonusItem{1, 3, 19, 95};
    rig.PassAt(96);
    EXPECT_TRUE(rig.core.state.bonus[1].active);
    rig.core.AppendWellCell(MakeCell(3, 19));
    rig.PassAt(96);
    EXPECT_FALSE(rig.core.state.bonus[1].active);
    EXPECT_EQ(rig.core.state.well.count, 0);
    EXPECT_FALSE(rig.core.IsCellOccupied(1, 20));
    EXPECT_EQ(rig.core.state.score, 0);
}

TEST(Bonus, SlotsNeverShareAPosition) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        BonusRig rig;
        SeedRandom(seed);
        rig.PassAt(91);
        const BonusItem& a = rig.core.state.bonus[0];
        const BonusItem& b = rig.core.state.bonus[1];
        if (a.active && b.active) {
            ASSERT_FALSE(a.column == b.column && a.row == b.row) << seed;
        }
    }
}

}  // namespace
