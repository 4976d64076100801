// Points for locks and rows, the level clock and its points, and the pause's effect on play time.
#include <gtest/gtest.h>

#include "fake_host.h"

namespace {

TEST(RowScore, FourRowsAtOnceAddSixHundredAndFiveInOneFrame) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    for (int row = 17; row <= 20; ++row) {
        for (int c = 1; c <= 11; ++c) {
            core.AppendWellCell(MakeCell(c, row, (row + c) % 7));
        }
    }
    core.AppendWellCell(MakeCell(4, 16, 3));
    rig.PlacePiece(1, 12, 18);  // rows 17 to 20 of column 12
    core.state.lockPending = 1;
    core.state.lockTime = 4.9f;
    core.state.lastStepTime = 5.0f;
    core.AdvancePlay(5.0f);
    EXPECT_EQ(core.state.score, 605);
    EXPECT_EQ(core.state.lines, 4);
    EXPECT_EQ(core.state.well.count, 1);
    EXPECT_TRUE(core.IsCellOccupied(4, 20));
    EXPECT_EQ(core.state.debris.count, 48);
    EXPECT_EQ(rig.host.CountEffect(EffectFill), 1);
}

TEST(RowScore, OneTwoAndThreeRowsScoreOneHundredTwoFiftyAndFourHundred) {
    const int expected[] = {0, 100, 250, 400};
    for (int rows = 1; rows <= 3; ++rows) {
        CoreRig rig(0);
        GameCore& core = rig.core;
        for (int row = 21 - rows; row <= 20; ++row) {
            for (int c = 1; c <= 12; ++c) {
                core.AppendWellCell(MakeCell(c, row));
            }
        }
        core.state.lastStepTime = 5.0f;
        core.AdvancePlay(5.0f);
        EXPECT_EQ(core.state.score, expected[rows]) << rows;
        EXPECT_EQ(core.state.lines, rows);
    }
}

TEST(LevelClock, LevelRisesEveryTwoMinutesWithPointsForTheLevelLeft) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    core.state.lastStepTime = 1.0e6f;  // keep pieces out of it
    core.AdvancePlay(119.9f);
    EXPECT_EQ(core.state.level, 1);
    EXPECT_EQ(core.state.elapsedSeconds, 119);
    EXPECT_EQ(core.state.score, 0);
    core.AdvancePlay(120.0f);
    EXPECT_EQ(core.state.level, 2);
    EXPECT_EQ(core.state.score, 50);
    EXPECT_EQ(rig.host.CountEffect(EffectLevel), 1);
    EXPECT_GT(core.state.levelUpProgress, 0.0f);
    EXPECT_LT(core.state.levelUpProgress, 0.05f);
    ASSERT_EQ(rig.host.EventsOf(GameEventKind::LevelChanged).size(), 1u);
    EXPECT_EQ(rig.host.EventsOf(GameEventKind::LevelChanged)[0].a, 2);

    // The caption's progress runs for two seconds and then rests at exactly 1.
    rig.time = 120.0f;
    rig.RunUntil(121.9f);
    EXPECT_LT(core.state.levelUpProgress, 1.0f);
    rig.RunUntil(122.1f);
    EXPECT_EQ(core.state.levelUpProgress, 1.0f);

    core.AdvancePlay(240.0f);
    EXPECT_EQ(core.state.level, 3);
    EXPECT_EQ(core.state.score, 150);
    // The new level's speed takes effect in the same frame while the piece is controllable.
    rig.PlacePiece(7, 6, 5);
    core.AdvancePlay(240.1f);
    EXPECT_FLOAT_EQ(core.state.dropSpeed, 3.4f);
}

TEST(LevelClock, PausedTimeIsNotPlayTime) {
    CoreRig rig(1);  // with bonus items, which run on the play time too
    GameCore& core = rig.core;
    core.state.lastStepTime = 1.0e6f;
    core.AdvancePlay(10.0f);
    EXPECT_EQ(core.state.elapsedSeconds, 10);
    // Paused from 10 to 100: the core is not stepped, and the shell moves the start on resume.
    core.state.gameStartTime += 100.0f - 10.0f;
    core.AdvancePlay(100.5f);
    EXPECT_EQ(core.state.elapsedSeconds, 10);
    EXPECT_EQ(core.state.bonus[0].stamp, 0);
    EXPECT_EQ(core.state.level, 1);
    core.AdvancePlay(101.0f);
    EXPECT_EQ(core.state.elapsedSeconds, 11);
    EXPECT_EQ(core.state.bonus[0].stamp, 11);  // the first attempt, at 11 s of play
}

TEST(LevelClock, ClockBeforeTheStartDoesNotDropBelowLevelOne) {
    CoreRig rig(0);
    rig.core.state.lastStepTime = 1.0e6f;
    rig.core.state.gameStartTime = 500.0f;
    rig.core.AdvancePlay(100.0f);
    EXPECT_EQ(rig.core.state.elapsedSeconds, 0);
    EXPECT_EQ(rig.core.state.level, 1);
    EXPECT_EQ(rig.core.state.score, 0);
}

}  // namespace
