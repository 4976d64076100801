// The random generator, the frame-rate meter and the per-frame advance of the animation fields.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "fake_host.h"

namespace {

TEST(Random, GeneratorGivesTheExpectedFifteenBitSequence) {
    // RandomInt(0, 32766) returns the raw draw unless that is 32767; seeded with 1 the generator
    // starts 41, 18467, 6334, 26500, 19169.
    SeedRandom(1);
    EXPECT_EQ(RandomInt(0, 32766), 41);
    EXPECT_EQ(RandomInt(0, 32766), 18467);
    EXPECT_EQ(RandomInt(0, 32766), 6334);
    EXPECT_EQ(RandomInt(0, 32766), 26500);
    EXPECT_EQ(RandomInt(0, 32766), 19169);
    SeedRandom(99);
    const int first = RandomInt(0, 1000);
    SeedRandom(99);
    EXPECT_EQ(RandomInt(0, 1000), first);
}

TEST(Random, StaysInRangeAndIsRoughlyUniform) {
    SeedRandom(2024);
    struct Range {
        int lo, hi;
    };
    for (Range range : {Range{1, 7}, Range{0, 6}, Range{3, 20}, Range{1, 12}, Range{0, 2}}) {
        std::array<int, 21> counts{};
        const int draws = 2000 * (range.hi - range.lo + 1);
        for (int i = 0; i < draws; ++i) {
            const int v = RandomInt(range.lo, range.hi);
            ASSERT_GE(v, range.lo);
            ASSERT_LE(v, range.hi);
            ++counts[v];
        }
        for (int v = range.lo; v <= range.hi; ++v) {
            EXPECT_NEAR(counts[v], 2000, 200) << v << " in " << range.lo << ".." << range.hi;
        }
    }
    EXPECT_EQ(RandomInt(5, 5), 5);
    EXPECT_EQ(RandomInt(4, 2), 4);  // an empty range answers at once instead of drawing forever
    for (int i = 0; i < 200; ++i) {
        const int v = RandomInt(-1, 1);
        ASSERT_TRUE(v >= -1 && v <= 1);
    }
}

TEST(FrameRate, MeasuredAboutOnceASecondAndZeroUntilThen) {
    FrameRateMeter meter;
    float rate = -1;
    uint32_t ms = 0;
    for (; ms <= 992; ms += 16) {
        rate = meter.Measure(ms);
        ASSERT_EQ(rate, 0.0f) << ms;
    }
    rate = meter.Measure(ms);  // 1008 ms: 64 frames in 1.008 s
    EXPECT_NEAR(rate, 64.0f / 1.008f, 0.01f);
    EXPECT_EQ(meter.Rate(), rate);
    for (int frame = 0; frame < 30; ++frame) {
        ms += 33;
        EXPECT_EQ(meter.Measure(ms), rate);  // unchanged within the next second
    }
    for (int frame = 0; frame < 10; ++frame) {
        ms += 33;
        meter.Measure(ms);
    }
    EXPECT_NEAR(meter.Rate(), 30.3f, 0.5f);
}

// Frames that stop for a while (a minimised window, a stall) say nothing about the rate frames come at.
TEST(FrameRate, AStretchWithoutFramesKeepsTheLastRate) {
    FrameRateMeter meter;
    uint32_t ms = 0;
    for (; ms <= 2000; ms += 20) meter.Measure(ms);
    const float before = meter.Rate();
    ASSERT_NEAR(before, 50.0f, 1.0f);
    ms += 8000;  // eight seconds without a frame
    EXPECT_EQ(meter.Measure(ms), before);
    for (int frame = 1; frame <= 33; ++frame) EXPECT_EQ(meter.Measure(ms += 30), before) << frame;
    // 1.02 s after the stretch: 35 frames counted from its end.
    EXPECT_NEAR(meter.Measure(ms += 30), 35.0f / 1.02f, 0.1f);

    FrameRateMeter lateStart;  // the first frame comes after a slow start
    EXPECT_EQ(lateStart.Measure(3000), 0.0f);
    for (uint32_t t = 3016; t <= 3992; t += 16) EXPECT_EQ(lateStart.Measure(t), 0.0f) << t;
    EXPECT_NEAR(lateStart.Measure(4008), 64.0f / 1.008f, 0.1f);
}

// Before the first measurement the rate is 0; the per-frame steps use 60 frames a second instead.
TEST(FrameRate, NoMeasuredRateStepsAsAtSixtyFrames) {
    CoreRig rig(0, 0.0f);
    GameCore& core = rig.core;
    EXPECT_EQ(core.StepFrameRate(), 60.0f);
    core.SetFrameRate(std::nanf(""));
    EXPECT_EQ(core.StepFrameRate(), 60.0f);
    core.SetFrameRate(-3.0f);
    EXPECT_EQ(core.StepFrameRate(), 60.0f);
    core.SetFrameRate(0.0f);

    rig.PlacePiece(1, 6, 5);
    core.state.dropSpeed = 70.0f;
    EXPECT_TRUE(core.StepPieceDown());
    EXPECT_EQ(core.state.piece.cells[0].row, 6);  // one row, as at 60 frames, not the whole well
    core.state.dropSpeed = 1.8f;
    core.AdvanceAnimations(false);
    EXPECT_FLOAT_EQ(core.state.piece.cells[0].fallProgress, 0.03f);
    EXPECT_TRUE(core.state.piece.cells[0].falling);

    core.state.levelUpProgress = 0.0f;
    core.state.lastStepTime = 1.0e6f;
    core.AdvancePlay(1.0f);
    EXPECT_FLOAT_EQ(core.state.levelUpProgress, 0.5f / 60.0f);
    EXPECT_EQ(core.state.piece.cells[0].row, 6);
}

TEST(Animations, PieceFallTakesThirtyFourFramesAtSixtyFramesAndLevelOneSpeed) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    rig.PlacePiece(7, 6, 5);
    core.state.dropSpeed = 1.8f;
    for (int i = 0; i < 4; ++i) {
        core.state.piece.cells[i].falling = 1;
        core.state.piece.cells[i].fallProgress = 0;
        core.state.piece.cells[i].movingRight = 1;
        core.state.piece.cells[i].moveRightProgress = 0;
    }
    int frames = 0;
    int sidewaysFrames = 0;
    while (core.state.piece.cells[0].falling && frames < 100) {
        core.AdvanceAnimations(false);
        ++frames;
        if (core.state.piece.cells[0].movingRight) {
            sidewaysFrames = frames;
        }
    }
    EXPECT_EQ(frames, 34);
    EXPECT_EQ(sidewaysFrames + 1, 3);  // 24 per second: 0.4, 0.8, then cleared
    EXPECT_NEAR(core.state.piece.cells[0].fallProgress, 0.99f, 1e-4f);  // left as it was
}

TEST(Animations, RatesOfTheSettledFallTheAppearanceAndTheDebris) {
    CoreRig rig(0, 50.0f);
    GameCore& core = rig.core;
    Cell settled = MakeCell(3, 20);
    settled.falling = 1;
    core.AppendWellCell(settled);
    Cell debris = MakeCell(4, 20);
    core.state.debris.cells[0] = debris;
    core.state.debris.count = 1;
    core.SpawnClassicPiece(1, 6, 2, 0);
    core.state.dropSpeed = 1.8f;
    // At 50 frames: settled fall 0.06 (17 frames), appearance 0.049 (21 frames), debris 0.03 (34
    // frames to pass 1, gone at the 35th).
    int settledFrames = 0, appearFrames = 0;
    for (int frame = 1; frame <= 34; ++frame) {
        core.AdvanceAnimations(false);
        if (core.state.well.cells[0].falling) {
            settledFrames = frame;
        }
        if (core.state.piece.appearing) {
            appearFrames = frame;
        }
    }
    EXPECT_EQ(settledFrames + 1, 17);
    EXPECT_EQ(appearFrames + 1, 21);
    EXPECT_TRUE(core.state.piece.active);
    EXPECT_EQ(core.state.piece.appearProgress, 1.0f);
    EXPECT_EQ(core.state.debris.count, 1);
    core.AdvanceAnimations(false);
    EXPECT_EQ(core.state.debris.count, 0);
}

TEST(Animations, TheAppearingPieceIsNotAdvancedAsAFallingOneInTheSameFrame) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    core.SpawnClassicPiece(1, 6, 2, 0);
    core.state.piece.appearProgress = 0.99f;
    core.state.piece.cells[0].rotateProgress = 0.0f;
    core.AdvanceAnimations(false);
    EXPECT_TRUE(core.state.piece.active);
    EXPECT_EQ(core.state.piece.cells[0].rotateProgress, 0.0f);
    core.AdvanceAnimations(false);
    EXPECT_GT(core.state.piece.cells[0].rotateProgress, 0.0f);
}

TEST(Animations, DebrisStandsStillWhilePausedAndFinishedEntriesLeaveBySwap) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    DebrisList& debris = core.state.debris;
    debris.count = 3;
    debris.cells[0] = MakeCell(1, 1, 1);
    debris.cells[0].debrisProgress = 1.0f;
    debris.cells[1] = MakeCell(2, 2, 2);
    debris.cells[1].debrisProgress = 0.5f;
    debris.cells[2] = MakeCell(3, 3, 3);
    debris.cells[2].debrisProgress = 1.2f;
    Cell falling = MakeCell(5, 20);
    falling.falling = 1;
    core.AppendWellCell(falling);
    for (int i = 0; i < 30; ++i) {
        core.AdvanceAnimations(true);
    }
    EXPECT_EQ(debris.count, 3);
    EXPECT_EQ(debris.cells[1].debrisProgress, 0.5f);
    EXPECT_FALSE(core.state.well.cells[0].falling);  // the rest still runs behind the pause screen
    core.AdvanceAnimations(false);
    ASSERT_EQ(debris.count, 1);
    EXPECT_EQ(debris.cells[0].colour, 2);
    EXPECT_FLOAT_EQ(debris.cells[0].debrisProgress, 0.525f);
}

}  // namespace
