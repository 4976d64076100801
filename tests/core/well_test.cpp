// The well's lookups and index, full-row removal and the removal effects list.
#include <gtest/gtest.h>

#include <random>

#include "fake_host.h"

namespace {

void ExpectIndexMatchesSearch(const GameCore& core) {
    for (int column = -1; column <= WellColumns + 2; ++column) {
        for (int row = -1; row <= WellRows + 2; ++row) {
            ASSERT_EQ(core.FindCell(column, row), LinearFind(core.state, column, row))
                << "at column " << column << ", row " << row;
            ASSERT_EQ(core.IsCellOccupied(column, row), LinearFind(core.state, column, row) >= 0);
        }
    }
}

TEST(WellIndex, AgreesWithLinearSearchUnderRandomOperations) {
    FakeHost host;
    GameCore core(host);
    std::mt19937 rng(12345);
    // A small area makes cells share positions often, which is where the lowest index matters.
    std::uniform_int_distribution<int> column(1, 4);
    std::uniform_int_distribution<int> row(17, 20);
    std::uniform_int_distribution<int> op(0, 99);
    for (int step = 0; step < 20000; ++step) {
        const int kind = op(rng);
        const int count = core.state.well.count;
        if (kind < 45) {
            core.AppendWellCell(MakeCell(column(rng), row(rng), step % 7));
        } else if (kind < 70 && count > 0) {
            core.RemoveWellCell(std::uniform_int_distribution<int>(0, count - 1)(rng));
        } else if (kind < 99 && count > 0) {
            core.MoveWellCell(std::uniform_int_distribution<int>(0, count - 1)(rng), column(rng), row(rng));
        } else {
            core.ClearWell();
        }
        if (step % 7 == 0) {
            ExpectIndexMatchesSearch(core);
        }
    }
    ExpectIndexMatchesSearch(core);
}

TEST(WellIndex, RemovalFromTheMiddleKeepsEveryCellFindable) {
    FakeHost host;
    GameCore core(host);
    for (int c = 1; c <= 12; ++c) {
        core.AppendWellCell(MakeCell(c, 20, c % 7));
    }
    core.RemoveWellCell(3);  // column 4 goes; column 12's cell takes its place
    EXPECT_EQ(core.state.well.count, 11);
    EXPECT_EQ(core.state.well.cells[3].column, 12);
    EXPECT_EQ(core.FindCell(12, 20), 3);
    EXPECT_FALSE(core.IsCellOccupied(4, 20));
    for (int c = 1; c <= 12; ++c) {
        if (c != 4) {
            EXPECT_EQ(core.state.well.cells[core.FindCell(c, 20)].column, c);
        }
    }
    ExpectIndexMatchesSearch(core);
}

TEST(WellIndex, NothingIsFoundOutsideTheWellOrAfterClearing) {
    FakeHost host;
    GameCore core(host);
    core.AppendWellCell(MakeCell(1, 20));
    core.AppendWellCell(MakeCell(12, 1));
    EXPECT_FALSE(core.IsCellOccupied(0, 20));
    EXPECT_FALSE(core.IsCellOccupied(13, 1));
    EXPECT_FALSE(core.IsCellOccupied(1, 21));
    EXPECT_FALSE(core.IsCellOccupied(-5, 400));
    core.ClearWell();
    EXPECT_EQ(core.state.well.count, 0);
    EXPECT_FALSE(core.IsCellOccupied(1, 20));
    EXPECT_EQ(core.FindCell(12, 1), -1);
}

TEST(WellIndex, RebuildFollowsAWellFilledByHand) {
    FakeHost host;
    GameCore core(host);
    core.state.well.cells[0] = MakeCell(3, 7);
    core.state.well.cells[1] = MakeCell(3, 7);
    core.state.well.cells[2] = MakeCell(5, 9);
    core.state.well.count = 3;
    core.RebuildCellIndex();
    EXPECT_EQ(core.FindCell(3, 7), 0);
    core.RemoveWellCell(0);  // cell 2 moves to 0, the twin at 1 stays the first at (3, 7)
    EXPECT_EQ(core.FindCell(3, 7), 1);
    EXPECT_EQ(core.FindCell(5, 9), 0);
}

TEST(WellIndex, AppendStopsAtCapacity) {
    FakeHost host;
    GameCore core(host);
    for (int i = 0; i < WellCapacity + 5; ++i) {
        core.AppendWellCell(MakeCell(1 + i % 12, 1 + (i / 12) % 20));
    }
    EXPECT_EQ(core.state.well.count, WellCapacity);
    ExpectIndexMatchesSearch(core);
}

void FillRow(GameCore& core, int row, int columns = WellColumns) {
    for (int c = 1; c <= columns; ++c) {
        core.AppendWellCell(MakeCell(c, row, c % 7));
    }
}

TEST(FullRows, RowsEighteenAndTwentyGoInOnePassAroundAnIncompleteRow) {
    CoreRig rig(0);
    GameCore& core = rig.core;
    FillRow(core, 20);
    FillRow(core, 19, 11);  // column 12 open
    FillRow(core, 18);
    core.AppendWellCell(MakeCell(3, 17, 4));
    core.AppendWellCell(MakeCell(5, 16, 5));

    EXPECT_EQ(core.RemoveFullRows(), 2);
    EXPECT_EQ(core.state.well.count, 13);
    EXPECT_EQ(core.state.debris.count, 24);
    for (int c = 1; c <= 11; ++c) {
        EXPECT_TRUE(core.IsCellOccupied(c, 20)) << c;        // the former row 19
        EXPECT_EQ(core.IsCellOccupied(c, 19), c == 3) << c;  // only the former row 17's cell
    }
    EXPECT_FALSE(core.IsCellOccupied(12, 20));
    const Cell& moved17 = core.state.well.cells[core.FindCell(3, 19)];
    EXPECT_EQ(moved17.colour, 4);
    EXPECT_TRUE(moved17.falling);
    EXPECT_EQ(moved17.fallProgress, 0.0f);
    EXPECT_EQ(core.state.well.cells[core.FindCell(5, 18)].colour, 5);
    EXPECT_FALSE(core.IsCellOccupied(3, 17));
    EXPECT_FALSE(core.IsCellOccupied(5, 16));
    for (int i = 0; i < core.state.debris.count; ++i) {
        EXPECT_EQ(core.state.debris.cells[i].debrisProgress, 0.0f);
    }
    ExpectIndexMatchesSearch(core);
    ASSERT_EQ(rig.host.EventsOf(GameEventKind::RowsRemoved).size(), 1u);
    EXPECT_EQ(rig.host.EventsOf(GameEventKind::RowsRemoved)[0].a, 2);
}

TEST(FullRows, TheFallingPieceDoesNotCompleteARow) {
    CoreRig rig(0);
    FillRow(rig.core, 20, 11);
    rig.PlacePiece(1, 12, 18);  // covers column 12, rows 17 to 20
    EXPECT_EQ(rig.core.RemoveFullRows(), 0);
    EXPECT_EQ(rig.core.state.well.count, 11);
}

TEST(FullRows, AFullEffectListGivesUpItsMostAdvancedEffects) {
    CoreRig rig(0);
    DebrisList& debris = rig.core.state.debris;
    debris.count = DebrisCapacity;
    for (int i = 0; i < DebrisCapacity; ++i) {
        debris.cells[i] = MakeCell(1, 1);
        debris.cells[i].debrisProgress = 0.001f * static_cast<float>(i + 1);
    }
    FillRow(rig.core, 20);
    EXPECT_EQ(rig.core.RemoveFullRows(), 1);
    EXPECT_EQ(debris.count, DebrisCapacity);
    int fresh = 0;
    float oldest = 0;
    for (int i = 0; i < debris.count; ++i) {
        if (debris.cells[i].row == 20) {
            ++fresh;
            EXPECT_EQ(debris.cells[i].debrisProgress, 0.0f);
        } else {
            oldest = std::max(oldest, debris.cells[i].debrisProgress);
        }
    }
    EXPECT_EQ(fresh, 12);
    EXPECT_FLOAT_EQ(oldest, 0.001f * 89);  // the 12 nearest their end made room
}

}  // namespace
