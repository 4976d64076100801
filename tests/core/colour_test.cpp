// The colour games: matching runs, their delayed removal and chained points, the bar, gravity.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

#include "fake_host.h"

namespace {

// A colour game (no bonus items) whose well is filled by hand and whose bar stays out of the way.
struct ColourRig : CoreRig {
    explicit ColourRig(int mode = 2) : CoreRig(mode) {}
    void Put(int column, int row, int colour) { core.AppendWellCell(MakeCell(column, row, colour)); }
    int CountVanishing() const {
        int n = 0;
        for (int i = 0; i < core.state.well.count; ++i) {
            n += core.state.well.cells[i].vanishing;
        }
        return n;
    }
    // Score gains frame by frame, with the well's own settling and the bar's first fall.
    std::vector<int> ScoreSteps(float until) {
        std::vector<int> gains;
        int score = core.state.score;
        while (time < until) {
            RunUntil(time + 1.0f / 60.0f);
            if (core.state.score != score) {
                gains.push_back(core.state.score - score);
                score = core.state.score;
            }
        }
        return gains;
    }
};

TEST(ColourMatch, ThreeInARowScoreThirtyThenTheirFallenNeighboursSixty) {
    ColourRig rig;
    rig.Put(1, 20, 0);
    rig.Put(2, 20, 0);
    rig.Put(3, 20, 0);
    rig.Put(4, 20, 1);
    rig.Put(5, 20, 1);
    rig.Put(3, 19, 1);  // drops onto row 20 beside the other two once the reds are gone
    EXPECT_EQ(rig.ScoreSteps(3.0f), (std::vector<int>{30, 60}));
    EXPECT_EQ(rig.core.state.well.count, 0);
    EXPECT_EQ(rig.core.state.lines, 2);
    EXPECT_EQ(rig.core.state.chainCount, 2);
    EXPECT_EQ(rig.host.CountEffect(EffectFill), 2);
    const auto removed = rig.host.EventsOf(GameEventKind::CellsRemoved);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[1].a, 3);
    EXPECT_EQ(removed[1].b, 2);
}

TEST(ColourMatch, RunsOfFourAndFiveCountAsTwoAndThreeLines) {
    for (int length : {4, 5}) {
        ColourRig rig;
        for (int c = 1; c <= length; ++c) {
            rig.Put(c, 20, 3);
        }
        rig.core.SetTime(1.0f);
        EXPECT_EQ(rig.core.MatchColours(), 0);
        EXPECT_EQ(rig.core.state.lines, length - 2);
        EXPECT_EQ(rig.CountVanishing(), length);
        // Marked cells keep counting for runs but add no lines a second time.
        rig.core.SetTime(1.1f);
        rig.core.MatchColours();
        EXPECT_EQ(rig.core.state.lines, length - 2);
    }
}

TEST(ColourMatch, AnLShapeOfFiveCountsTwoLinesAndScoresFiftyPerChain) {
    ColourRig rig;
    rig.Put(1, 20, 2);
    rig.Put(2, 20, 2);
    rig.Put(3, 20, 2);
    rig.Put(1, 19, 2);
    rig.Put(1, 18, 2);
    rig.ScoreSteps(0.5f);
    EXPECT_EQ(rig.core.state.lines, 2);
    EXPECT_EQ(rig.core.state.score, 50);
    EXPECT_EQ(rig.core.state.well.count, 0);
    EXPECT_EQ(rig.core.state.debris.count, 5);
}

TEST(ColourMatch, DiagonalCountsOnlyOnceItRestsOnFullColumns) {
    ColourRig rig;
    rig.Put(1, 20, 0);
    rig.Put(2, 19, 0);
    rig.Put(3, 18, 0);
    rig.Put(2, 20, 1);
    rig.Put(3, 20, 2);  // (3, 19) open: the top of the diagonal hangs over a gap
    rig.core.SetTime(1.0f);
    rig.core.MatchColours();
    EXPECT_EQ(rig.CountVanishing(), 0);
    EXPECT_FALSE(rig.core.IsSettled(3, 18));
    EXPECT_TRUE(rig.core.IsSettled(2, 19));
    rig.Put(3, 19, 3);
    rig.core.MatchColours();
    EXPECT_EQ(rig.CountVanishing(), 3);
    EXPECT_EQ(rig.core.state.lines, 1);

    // The other diagonal, down to the right.
    ColourRig down;
    down.Put(1, 18, 5);
    down.Put(1, 19, 1);
    down.Put(1, 20, 2);
    down.Put(2, 19, 5);
    down.Put(2, 20, 3);
    down.Put(3, 20, 5);
    down.core.MatchColours();
    EXPECT_EQ(down.CountVanishing(), 3);
}

TEST(ColourMatch, FallingCellsAreNotSettledAndHoldNoRun) {
    ColourRig rig;
    rig.Put(1, 20, 4);
    rig.Put(2, 20, 4);
    rig.Put(3, 20, 4);
    rig.core.state.well.cells[1].falling = 1;
    rig.core.MatchColours();
    EXPECT_EQ(rig.CountVanishing(), 0);
    EXPECT_FALSE(rig.core.IsSettled(2, 20));
    EXPECT_FALSE(rig.core.IsSettled(0, 20));
    EXPECT_FALSE(rig.core.IsSettled(13, 20));
}

TEST(ColourMatch, MarkedCellsGoThreeTenthsOfASecondAfterMarking) {
    ColourRig rig;
    rig.Put(4, 20, 6);
    rig.Put(5, 20, 6);
    rig.Put(6, 20, 6);
    rig.core.SetTime(2.0f);
    EXPECT_EQ(rig.core.MatchColours(), 0);
    EXPECT_EQ(rig.core.state.well.cells[0].vanishStartTime, 2.0f);
    rig.core.SetTime(2.29f);
    EXPECT_EQ(rig.core.MatchColours(), 0);
    EXPECT_TRUE(rig.core.IsCellOccupied(5, 20));  // still occupying its position while marked
    rig.core.SetTime(2.31f);
    EXPECT_EQ(rig.core.MatchColours(), 3);
    EXPECT_EQ(rig.core.state.chainCount, 1);
    EXPECT_EQ(rig.core.state.well.count, 0);
    EXPECT_EQ(rig.core.state.debris.count, 3);
    EXPECT_EQ(rig.core.state.debris.cells[0].debrisProgress, 0.0f);
}

TEST(ColourMatch, ALateCellExtendingAVanishingRunGoesAloneAndScoresNothing) {
    ColourRig rig;
    rig.Put(1, 20, 0);
    rig.Put(2, 20, 0);
    rig.Put(3, 20, 0);
    rig.RunUntil(0.2f);
    EXPECT_EQ(rig.CountVanishing(), 3);
    rig.Put(4, 20, 0);
    const std::vector<int> gains = rig.ScoreSteps(1.0f);
    EXPECT_EQ(gains, std::vector<int>{30});
    EXPECT_EQ(rig.core.state.lines, 1);
    EXPECT_EQ(rig.core.state.well.count, 0);
    EXPECT_EQ(rig.host.CountEffect(EffectFill), 2);
    const auto removed = rig.host.EventsOf(GameEventKind::CellsRemoved);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[1].a, 1);
    EXPECT_EQ(removed[1].b, 2);
}

TEST(ColourBar, CyclingMovesEachColourOnByOneCell) {
    for (int mode : {2, 4}) {
        ColourRig rig(mode);
        rig.core.SpawnColourBar({1, 2, 3, 0}, 6, 1);
        rig.core.state.piece.appearing = 0;
        rig.core.state.piece.active = 1;
        rig.core.TurnPiece();
        EXPECT_EQ(rig.core.state.piece.cells[0].colour, 3);
        EXPECT_EQ(rig.core.state.piece.cells[1].colour, 1);
        EXPECT_EQ(rig.core.state.piece.cells[2].colour, 2);
        rig.core.CyclePieceColours();
        rig.core.CyclePieceColours();
        EXPECT_EQ(rig.core.state.piece.cells[0].colour, 1);
    }
}

TEST(ColourBar, PlacementAndWhatBlocksIt) {
    ColourRig vertical(2);
    ASSERT_TRUE(vertical.core.SpawnColourBar({0, 1, 2, 0}, 6, 1));
    std::set<std::pair<int, int>> cells;
    for (int i = 0; i < 3; ++i) {
        cells.insert({vertical.core.state.piece.cells[i].column, vertical.core.state.piece.cells[i].row});
    }
    EXPECT_EQ(cells, (std::set<std::pair<int, int>>{{6, 1}, {6, 2}, {6, 3}}));
    EXPECT_TRUE(vertical.core.state.piece.appearing);
    EXPECT_EQ(vertical.core.state.piece.appearProgress, 0.0f);

    // A full column (so the well is at rest) at 5 or 7 ends a horizontal game but not a vertical one.
    for (int column : {5, 7}) {
        for (int mode : {2, 4}) {
            ColourRig rig(mode);
            for (int row = 1; row <= 20; ++row) {
                rig.Put(column, row, row % 2);
            }
            rig.RunUntil(1.0f);
            const bool lost = rig.host.appState == GameOver;
            EXPECT_EQ(lost, mode == 4) << "column " << column << ", mode " << mode;
            EXPECT_EQ(rig.host.CountEffect(EffectGameOver), lost ? 1 : 0);
        }
    }
}

TEST(ColourBar, NoNewBarWhileTheWellIsSettling) {
    ColourRig rig;
    rig.Put(2, 10, 0);  // loose, falls 10 rows at about three rows a second
    rig.RunUntil(3.0f);
    EXPECT_FALSE(rig.core.state.piece.appearing || rig.core.state.piece.active);
    rig.RunUntil(5.0f);
    EXPECT_TRUE(rig.core.state.piece.appearing || rig.core.state.piece.active);
    EXPECT_TRUE(rig.core.IsCellOccupied(2, 20));
}

TEST(ColourBar, LocksAtTheFirstBlockedStepWithoutDelay) {
    ColourRig rig;
    rig.core.SpawnColourBar({0, 1, 2, 0}, 6, 18);
    rig.core.state.piece.appearing = 0;
    rig.core.state.piece.active = 1;
    rig.core.state.lastStepTime = -1.0f;
    rig.core.AdvancePlay(0.1f);
    EXPECT_FALSE(rig.core.state.piece.active);
    EXPECT_EQ(rig.core.state.score, 5);
    EXPECT_EQ(rig.host.CountEffect(EffectFall), 1);
    EXPECT_EQ(rig.core.state.well.count, 3);
}

// Gravity must treat the falling bar as solid: a cell resting on it stays put and follows it down.
TEST(ColourGravity, ACellOnTheFallingBarRestsOnIt) {
    ColourRig rig;
    rig.core.SpawnColourBar({1, 2, 3, 0}, 1, 10);  // column 1, rows 10 to 12
    rig.Put(1, 9, 4);
    rig.core.ApplyGravity();
    EXPECT_EQ(rig.core.state.well.cells[0].row, 9) << "sank into the appearing bar";
    EXPECT_FALSE(rig.core.AnyCellUnsettled());
    rig.core.state.piece.appearing = 0;
    rig.core.state.piece.active = 1;
    rig.core.ApplyGravity();
    EXPECT_EQ(rig.core.state.well.cells[0].row, 9) << "sank into the falling bar";

    // Played out: the bar lands, the cell lands on top, never two cells on one position.
    rig.core.state.lastStepTime = 0;
    rig.RunUntil(12.0f);
    for (int row = 1; row <= 20; ++row) {
        for (int c = 1; c <= 12; ++c) {
            int here = 0;
            for (int i = 0; i < rig.core.state.well.count; ++i) {
                here += rig.core.state.well.cells[i].column == c && rig.core.state.well.cells[i].row == row;
            }
            EXPECT_LE(here, 1) << c << ", " << row;
        }
    }
    EXPECT_TRUE(rig.core.IsCellOccupied(1, 17));
    EXPECT_EQ(rig.core.state.well.cells[rig.core.FindCell(1, 17)].colour, 4);

    // Once no bar is falling the same cell is loose again.
    ColourRig free;
    free.Put(1, 9, 4);
    free.core.state.piece.cells[0] = MakeCell(1, 10);
    free.core.ApplyGravity();
    EXPECT_EQ(free.core.state.well.cells[0].row, 10);
}

TEST(ColourGravity, CellsSinkOneRowPerPassAndFollowEarlierNeighbours) {
    ColourRig rig;
    rig.Put(3, 17, 0);  // index 0: lower cell moves first, the upper one follows in the same pass
    rig.Put(3, 16, 1);
    rig.Put(5, 16, 2);  // index 2: upper cell, then the lower one at index 3
    rig.Put(5, 17, 3);
    rig.core.ApplyGravity();
    EXPECT_EQ(rig.core.state.well.cells[0].row, 18);
    EXPECT_EQ(rig.core.state.well.cells[1].row, 17);
    EXPECT_EQ(rig.core.state.well.cells[2].row, 16);
    EXPECT_EQ(rig.core.state.well.cells[3].row, 18);
    EXPECT_TRUE(rig.core.AnyCellUnsettled());
    rig.core.ApplyGravity();  // a falling cell waits until the drawing clears its flag
    EXPECT_EQ(rig.core.state.well.cells[0].row, 18);
}

// Whole games with random play: the well never holds two cells on one position, and the index
// always agrees with a search of the cells.
TEST(ColourPlay, RandomGamesKeepTheWellConsistent) {
    for (int mode : {2, 3, 4, 5, 0, 1}) {
        ColourRig rig(mode);
        SeedRandom(static_cast<uint32_t>(1000 + mode));
        std::mt19937 rng(static_cast<uint32_t>(mode));
        const int keys[] = {0x25, 0x27, 0x28, 0x01};
        int games = 1;
        for (int frame = 0; frame < 60 * 400; ++frame) {
            if (rig.host.appState == GameOver) {
                rig.core.StartNewGame(rig.time);
                ++games;
            }
            if (frame % 15 == 0) {
                rig.host.heldKeys.clear();
                if (rng() % 2) {
                    rig.host.heldKeys.insert(keys[rng() % 4]);
                }
                if (rng() % 4 == 0) {
                    rig.core.TurnPiece();
                }
                if (rng() % 9 == 0) {
                    rig.core.RequestDrop();
                }
            }
            rig.RunUntil(rig.time + 1.0f / 60.0f);
            const GameState& s = rig.core.state;
            ASSERT_LE(s.well.count, WellColumns * WellRows);
            ASSERT_LE(s.debris.count, DebrisCapacity);
            if (frame % 10 == 0) {
                std::set<std::pair<int, int>> seen;
                for (int i = 0; i < s.well.count; ++i) {
                    const Cell& c = s.well.cells[i];
                    ASSERT_TRUE(c.column >= 1 && c.column <= 12 && c.row >= 1 && c.row <= 20);
                    ASSERT_TRUE(seen.insert({c.column, c.row}).second)
                        << "two cells at " << c.column << ", " << c.row << " in mode " << mode;
                    ASSERT_EQ(rig.core.FindCell(c.column, c.row), LinearFind(s, c.column, c.row));
                }
            }
        }
        EXPECT_GT(rig.host.EventsOf(GameEventKind::PieceLocked).size(), 50u) << mode;
        EXPECT_GT(games, 1) << mode;
    }
}

}  // namespace
