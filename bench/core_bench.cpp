// One play frame (AdvancePlay, then AdvanceAnimations) in the core's heaviest situations: a full
// colour well in which every cell is part of a run, and a Classic lock that completes four rows.
#include <benchmark/benchmark.h>

#include "core/game_core.h"

namespace {

class QuietHost : public GameHost {
public:
    bool IsKeyHeld(int) const override { return false; }
    void PlayEffect(WaveEffect) override {}
    void OnGameStarted() override {}
    void OnGameOver() override {}
};

Cell At(int column, int row, int colour) {
    Cell cell;
    cell.column = column;
    cell.row = row;
    cell.colour = colour;
    return cell;
}

// Every row one colour (rows alternate), so each cell begins a horizontal run. With marked set, the
// cells were marked long enough ago that this frame removes all 240 of them.
void FillColourWell(GameCore& core, bool marked) {
    core.state.gameModeIndex = 2;
    core.StartNewGame(0.0f);
    core.SetFrameRate(60.0f);
    for (int row = 1; row <= WellRows; ++row) {
        for (int c = 1; c <= WellColumns; ++c) {
            Cell cell = At(c, row, row % 2);
            if (marked) {
                cell.vanishing = 1;
                cell.vanishStartTime = 1.0f;
            }
            core.AppendWellCell(cell);
        }
    }
    core.state.lastStepTime = 1.0e6f;
}

void RunFrames(benchmark::State& bench, GameCore& core, const GameState& start) {
    for (auto _ : bench) {
        bench.PauseTiming();
        core.state = start;
        core.RebuildCellIndex();
        bench.ResumeTiming();
        core.AdvancePlay(2.0f);
        core.AdvanceAnimations(false);
        benchmark::DoNotOptimize(core.state.score);
    }
}

void ColourFullWellMarking(benchmark::State& bench) {
    static QuietHost host;
    static GameCore core(host);
    FillColourWell(core, false);
    static GameState start;
    start = core.state;
    RunFrames(bench, core, start);
    bench.counters["marked"] = static_cast<double>(core.state.lines);
}
BENCHMARK(ColourFullWellMarking)->Unit(benchmark::kMicrosecond);

void ColourFullWellRemoval(benchmark::State& bench) {
    static QuietHost host;
    static GameCore core(host);
    FillColourWell(core, true);
    static GameState start;
    start = core.state;
    RunFrames(bench, core, start);
    bench.counters["left"] = static_cast<double>(core.state.well.count);
}
BENCHMARK(ColourFullWellRemoval)->Unit(benchmark::kMicrosecond);

// A settled but loose well: 228 cells hang one row above the floor, so gravity moves every one.
void ColourGravityEverywhere(benchmark::State& bench) {
    static QuietHost host;
    static GameCore core(host);
    core.state.gameModeIndex = 2;
    core.StartNewGame(0.0f);
    core.SetFrameRate(60.0f);
    for (int row = 1; row < WellRows; ++row) {
        for (int c = 1; c <= WellColumns; ++c) {
            core.AppendWellCell(At(c, row, (row + c) % 7));
        }
    }
    core.state.lastStepTime = 1.0e6f;
    static GameState start;
    start = core.state;
    RunFrames(bench, core, start);
}
BENCHMARK(ColourGravityEverywhere)->Unit(benchmark::kMicrosecond);

// Rows 17 to 20 lack column 12 only; the upright line there locks this frame and 16 rows come down.
void ClassicFourRows(benchmark::State& bench) {
    static QuietHost host;
    static GameCore core(host);
    core.state.gameModeIndex = 0;
    core.StartNewGame(0.0f);
    core.SetFrameRate(60.0f);
    for (int row = 5; row <= WellRows; ++row) {
        for (int c = 1; c <= (row >= 17 ? 11 : 10); ++c) {
            core.AppendWellCell(At(c, row, (row + c) % 7));
        }
    }
    core.SpawnClassicPiece(1, 12, 18, 3);
    core.state.piece.appearing = 0;
    core.state.piece.active = 1;
    core.state.lockPending = 1;
    core.state.lockTime = 1.5f;
    core.state.lastStepTime = 1.0e6f;
    static GameState start;
    start = core.state;
    RunFrames(bench, core, start);
    bench.counters["rows"] = static_cast<double>(core.state.lines);
}
BENCHMARK(ClassicFourRows)->Unit(benchmark::kMicrosecond);

}  // namespace
