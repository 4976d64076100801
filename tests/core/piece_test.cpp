// The falling piece: rotation, steps, the lock delay, sideways control and the choice of pieces.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "fake_host.h"

namespace {

std::set<std::pair<int, int>> PiecePositions(const GameCore& core) {
    std::set<std::pair<int, int>> positions;
    for (int i = 0; i < core.state.pieceCellCount; ++i) {
        positions.insert({core.state.piece.cells[i].column, core.state.piece.cells[i].row});
    }
    return positions;
}

using Positions = std::set<std::pair<int, int>>;

TEST(Rotation, UprightLineAtTheLeftWallTurnsAboutItsBottomCell) {
    CoreRig rig(0);
    rig.PlacePiece(1, 1, 10);  // column 1, rows 9 to 12
    rig.core.RotatePiece();
    EXPECT_EQ(PiecePositions(rig.core), (Positions{{1, 12}, {2, 12}, {3, 12}, {4, 12}}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(rig.core.state.piece.cells[i].rotating);
        EXPECT_EQ(rig.core.state.piece.cells[i].rotateProgress, 0.0f);
    }
    // Cell order is kept: cell 0 is still the shape's pivot cell.
    EXPECT_EQ(rig.core.state.piece.cells[0].column, 3);
}

TEST(Rotation, UprightLineAtTheRightWallTurnsAboutItsTopCell) {
    CoreRig rig(0);
    rig.PlacePiece(1, 12, 10);
    rig.core.RotatePiece();
    EXPECT_EQ(PiecePositions(rig.core), (Positions{{9, 9}, {10, 9}, {11, 9}, {12, 9}}));
}

TEST(Rotation, FirstChoiceIsThePivotCellAndFourTurnsComeBack) {
    CoreRig rig(0);
    rig.PlacePiece(2, 6, 10);
    const Positions start = PiecePositions(rig.core);
    rig.core.RotatePiece();
    // L about (6, 10): (1,0)->(0,1), (0,1)->(-1,0), (0,2)->(-2,0).
    EXPECT_EQ(PiecePositions(rig.core), (Positions{{6, 10}, {6, 11}, {5, 10}, {4, 10}}));
    rig.core.RotatePiece();
    rig.core.RotatePiece();
    rig.core.RotatePiece();
    EXPECT_EQ(PiecePositions(rig.core), start);
}

TEST(Rotation, TheSquareNeverTurns) {
    for (int column : {1, 6, 11}) {
        CoreRig rig(0);
        rig.PlacePiece(7, column, 10);
        const Positions before = PiecePositions(rig.core);
        rig.core.RotatePiece();
        rig.core.TurnPiece();
        EXPECT_EQ(PiecePositions(rig.core), before);
        for (int i = 0; i < 4; ++i) {
            EXPECT_FALSE(rig.core.state.piece.cells[i].rotating);
        }
    }
}

TEST(Rotation, AllPivotsBlockedLeavesThePieceAsItWas) {
    CoreRig rig(0);
    rig.PlacePiece(1, 1, 10);
    rig.core.AppendWellCell(MakeCell(3, 12));  // the only turn left (about the bottom cell) is blocked
    rig.core.state.piece.cells[2].movingLeft = 1;
    rig.core.state.piece.cells[2].moveLeftProgress = 0.5f;
    const Positions before = PiecePositions(rig.core);
    rig.core.RotatePiece();
    EXPECT_EQ(PiecePositions(rig.core), before);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(rig.core.state.piece.cells[i].rotating);
    }
    EXPECT_TRUE(rig.core.state.piece.cells[2].movingLeft);
    EXPECT_EQ(rig.core.state.piece.cells[2].moveLeftProgress, 0.5f);
}

TEST(Steps, RowsDuePerStepFollowSpeedAndFrameRate) {
    CoreRig rig(0);
    rig.PlacePiece(7, 6, 5);  // rows 5 and 6
    rig.core.state.dropSpeed = 70.0f;
    rig.core.SetFrameRate(30.0f);
    EXPECT_TRUE(rig.core.StepPieceDown());
    EXPECT_EQ(rig.core.state.piece.cells[0].row, 7);
    rig.core.SetFrameRate(60.0f);
    EXPECT_TRUE(rig.core.StepPieceDown());
    EXPECT_EQ(rig.core.state.piece.cells[0].row, 8);
    // Two rows due but only one free: the free row is taken and the step reports the block.
    rig.core.AppendWellCell(MakeCell(6, 11));
    rig.core.SetFrameRate(30.0f);
    EXPECT_FALSE(rig.core.StepPieceDown());
    EXPECT_EQ(rig.core.state.piece.cells[0].row, 9);
    EXPECT_TRUE(rig.core.state.piece.cells[0].falling);
}

TEST(Steps, FastDropAtThirtyFramesCoversTwoRowsPerFrame) {
    CoreRig rig(0, 30.0f);
    rig.RunUntil(1.2f, 30.0f);  // the first piece is placed and has appeared
    ASSERT_TRUE(rig.core.IsPieceControllable());
    const int rowBefore = rig.core.state.piece.cells[0].row;
    rig.core.RequestDrop();
    rig.RunUntil(rig.time + 1.0f / 30.0f, 30.0f);  // sets the speed to 70
    const int rowAfterFirst = rig.core.state.piece.cells[0].row;
    rig.RunUntil(rig.time + 1.0f / 30.0f, 30.0f);
    EXPECT_EQ(rig.core.state.piece.cells[0].row - rowAfterFirst, 2);
    EXPECT_GE(rowAfterFirst, rowBefore);
}

// The piece touches a ledge, is slid off it within the lock delay and keeps falling to the floor.
TEST(Landing, LockDelayLetsThePieceSlideOffALedge) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    core.AppendWellCell(MakeCell(5, 15));
    rig.time = 10.0f;
    core.state.gameStartTime = 10.0f;
    rig.PlacePiece(1, 5, 12);  // column 5, rows 11 to 14: resting on the ledge
    core.state.lastStepTime = 9.0f;
    core.AdvancePlay(10.0f);
    EXPECT_TRUE(core.state.lockPending);
    EXPECT_FLOAT_EQ(core.state.lockTime, 10.1f);
    EXPECT_EQ(rig.host.CountEffect(EffectFall), 1);

    core.AdvancePlay(10.05f);
    EXPECT_TRUE(core.state.piece.active) << "locked before the delay";
    core.MovePieceRight();
    rig.time = 10.05f;
    rig.RunUntil(10.2f);
    EXPECT_TRUE(core.state.piece.active) << "locked although it could fall";
    rig.RunUntil(11.0f);
    EXPECT_FALSE(core.state.lockPending);
    EXPECT_GT(core.state.piece.cells[0].row, 12);

    rig.RunUntil(20.0f);  // down to the floor
    EXPECT_EQ(rig.host.CountEffect(EffectFall), 2);
    EXPECT_EQ(core.FindCell(6, 20) >= 0, true);
    EXPECT_EQ(rig.host.EventsOf(GameEventKind::PieceLocked).size(), 1u);
}

TEST(Landing, LocksOnlyAfterTheDelayAndScoresFive) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    rig.PlacePiece(7, 6, 19);  // on the floor
    core.state.lastStepTime = -1.0f;
    core.state.gameStartTime = 0;
    core.AdvancePlay(0.5f);
    ASSERT_TRUE(core.state.lockPending);
    core.AdvancePlay(0.55f);
    EXPECT_TRUE(core.state.piece.active);
    core.AdvancePlay(0.61f);
    EXPECT_FALSE(core.state.piece.active);
    EXPECT_EQ(core.state.score, 5);
    EXPECT_EQ(core.state.well.count, 4);
}

TEST(Controls, HeldArrowMovesAtOnceThenAfterTheDelayThenEveryInterval) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    rig.PlacePiece(7, 2, 10);
    core.state.lastStepTime = 1000.0f;  // no drop steps in this test
    core.state.rightLastMoveTime = -10.0f;
    rig.host.heldKeys = {0x27};
    std::vector<float> moves;
    int column = core.state.piece.cells[0].column;
    for (int frame = 1; frame <= 18; ++frame) {
        const float t = 1.0f + 0.02f * static_cast<float>(frame);
        core.AdvancePlay(t);
        if (core.state.piece.cells[0].column != column) {
            column = core.state.piece.cells[0].column;
            moves.push_back(t);
        }
    }
    ASSERT_GE(moves.size(), 3u);
    EXPECT_FLOAT_EQ(moves[0], 1.02f);
    EXPECT_FLOAT_EQ(moves[1], 1.26f);  // first frame at least 0.225 s later
    EXPECT_FLOAT_EQ(moves[2], 1.30f);  // then every 0.025 s: every other 0.02 s frame
    rig.host.heldKeys.clear();
    core.AdvancePlay(1.5f);
    EXPECT_EQ(core.state.rightRepeatCount, 0);
}

TEST(Controls, ThePlayersRepeatTimingReplacesTheDefault) {
    const struct {
        float first, interval;
        std::vector<float> moves;  // with frames every 0.02 s from 1.02 s
    } cases[] = {
        // Times between frames, so that no comparison rests on the last bit of a float.
        {0.49f, 0.09f, {1.02f, 1.52f, 1.62f, 1.72f}},
        {0.05f, 0.01f, {1.02f, 1.08f, 1.10f, 1.12f}},  // a repeat per frame when the interval is shorter
        {0.31f, 0.19f, {1.02f, 1.34f, 1.54f, 1.74f}},
    };
    for (const auto& c : cases) {
        CoreRig rig(0);
        GameCore& core = rig.core;
        core.SetKeyRepeat(c.first, c.interval);
        rig.PlacePiece(1, 1, 10);  // the bar upright in column 1: room for many moves to the right
        core.state.lastStepTime = 1000.0f;
        core.state.rightLastMoveTime = -10.0f;
        rig.host.heldKeys = {0x27};
        std::vector<float> moves;
        int column = core.state.piece.cells[0].column;
        for (int frame = 1; frame <= 40 && moves.size() < c.moves.size(); ++frame) {
            const float t = 1.0f + 0.02f * static_cast<float>(frame);
            core.AdvancePlay(t);
            if (core.state.piece.cells[0].column != column) {
                column = core.state.piece.cells[0].column;
                moves.push_back(t);
            }
        }
        ASSERT_EQ(moves.size(), c.moves.size()) << c.first;
        for (size_t i = 0; i < moves.size(); ++i)
            EXPECT_NEAR(moves[i], c.moves[i], 1e-4) << c.first << " " << i;
    }
}

TEST(Controls, DownKeyHurriesButARequestedDropWins) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    rig.PlacePiece(7, 6, 5);
    core.state.lastStepTime = 1000.0f;
    rig.host.heldKeys = {0x28};
    core.AdvancePlay(1.0f);
    EXPECT_EQ(core.state.dropSpeed, 35.0f);
    rig.host.heldKeys = {0x01};
    core.AdvancePlay(1.1f);
    EXPECT_EQ(core.state.dropSpeed, 35.0f);
    core.RequestDrop();
    core.AdvancePlay(1.2f);
    EXPECT_EQ(core.state.dropSpeed, 70.0f);
    rig.host.heldKeys.clear();
    core.state.dropRequested = 0;
    core.AdvancePlay(1.3f);
    EXPECT_FLOAT_EQ(core.state.dropSpeed, 1.8f);
}

TEST(Placement, NextPieceNeverRepeatsShapeOrColour) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    std::set<int> shapes;
    int previousShape = -1, previousColour = -1;
    for (int n = 0; n < 500; ++n) {
        core.state.piece.active = 0;
        core.state.piece.appearing = 0;
        core.state.lastStepTime = -10.0f;
        core.AdvancePlay(1.0f);
        ASSERT_TRUE(core.state.piece.appearing);
        EXPECT_NE(core.state.currentShape, previousShape);
        EXPECT_NE(core.state.currentColour, previousColour);
        EXPECT_NE(core.state.nextShape, core.state.currentShape);
        EXPECT_NE(core.state.nextColour, core.state.currentColour);
        EXPECT_EQ(core.state.piece.shape, core.state.currentShape);
        EXPECT_EQ(core.state.piece.cells[0].column, 6);
        EXPECT_EQ(core.state.piece.cells[0].row, 2);
        previousShape = core.state.currentShape;
        previousColour = core.state.currentColour;
        shapes.insert(previousShape);
    }
    EXPECT_EQ(shapes.size(), 7u);
}

TEST(Placement, BlockedPlacementEndsTheGameOnce) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    rig.host.appState = Playing;
    core.AppendWellCell(MakeCell(6, 2));
    rig.RunUntil(3.0f);
    EXPECT_EQ(rig.host.appState, GameOver);
    EXPECT_EQ(rig.host.gameOverCalls, 1);
    EXPECT_EQ(rig.host.CountEffect(EffectGameOver), 1);
    EXPECT_FALSE(core.state.piece.active);
    EXPECT_GT(core.state.gameOverTime, 0.5f);
    EXPECT_LT(core.state.gameOverTime, 0.6f);
    EXPECT_EQ(rig.host.EventsOf(GameEventKind::GameLost).size(), 1u);
}

TEST(NewGame, ResetsInOrderAndDrawsTheBackgroundAfterTheSound) {
    FakeHost host;
    GameCore core(host);
    core.soundOn = 1;
    core.state.gameModeIndex = 3;
    core.state.score = 99;
    core.AppendWellCell(MakeCell(2, 2));
    // A game left from the pause screen while its piece was still appearing, or one that ended on a
    // hard drop.
    core.state.piece.appearing = 1;
    core.state.piece.appearProgress = 0.5f;
    core.state.dropRequested = 1;
    SeedRandom(77);
    const int expectedBackground = RandomInt(0, 2);
    SeedRandom(77);
    core.StartNewGame(5.0f);
    EXPECT_EQ(host.background, expectedBackground);
    ASSERT_EQ(host.effectsAtStart, 1u);
    EXPECT_EQ(host.effects[0], EffectAction);
    EXPECT_EQ(core.state.gameType, ColorBlocks);
    EXPECT_TRUE(core.state.bonusesEnabled);
    EXPECT_EQ(core.state.pieceCellCount, 3);
    EXPECT_EQ(core.state.level, 1);
    EXPECT_FLOAT_EQ(core.state.dropSpeed, 1.8f);
    EXPECT_EQ(core.state.score, 0);
    EXPECT_EQ(core.state.well.count, 0);
    EXPECT_FALSE(core.IsCellOccupied(2, 2));
    EXPECT_FALSE(core.state.piece.appearing);
    EXPECT_FALSE(core.state.piece.active);
    EXPECT_EQ(core.state.nextBarColours[0], -1);
    EXPECT_EQ(core.state.gameOverTime, -100.0f);
    EXPECT_EQ(core.state.gameStartTime, 5.0f);

    EXPECT_FALSE(core.state.dropRequested);

    // The first piece comes at the first drop step, 1 / 1.8 s after the start.
    host.appState = Playing;
    core.AdvancePlay(5.02f);
    EXPECT_FLOAT_EQ(core.state.dropSpeed, 1.8f);
    core.AdvancePlay(5.5f);
    EXPECT_FALSE(core.state.piece.appearing);
    core.AdvancePlay(5.6f);
    EXPECT_TRUE(core.state.piece.appearing);

    for (int mode : {0, 1}) {
        core.state.gameModeIndex = mode;
        core.StartNewGame(0);
        EXPECT_EQ(core.state.gameType, Classic);
        EXPECT_EQ(core.state.pieceCellCount, 4);
        EXPECT_EQ(core.state.bonusesEnabled != 0, mode == 1);
    }
    core.state.gameModeIndex = 4;
    core.StartNewGame(0);
    EXPECT_EQ(core.state.gameType, RotatedColorBlocks);
}

TEST(NewGame, SilentWhenSoundIsOff) {
    CoreRig rig(0);
    rig.core.soundOn = 0;
    rig.core.StartNewGame(0);
    rig.host.appState = Playing;
    rig.core.AppendWellCell(MakeCell(6, 2));
    rig.RunUntil(2.0f);
    EXPECT_TRUE(rig.host.effects.empty());
    EXPECT_EQ(rig.host.appState, GameOver);
}

}  // namespace
