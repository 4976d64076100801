// The two colour games: the three-cell bar, colour cycling, gravity on loose cells and the matching
// of same-coloured runs with their delayed removal and chained scoring.
#include <algorithm>

#include "core/game_core.h"

namespace {
constexpr float VanishDelay = 0.3f;
constexpr int MaxRunLength = 13;

struct Direction {
    int dx, dy;
};
// Right; down; right and down; right and up (rows grow downwards).
constexpr std::array<Direction, 4> RunDirections = {{{1, 0}, {0, 1}, {1, 1}, {1, -1}}};
}  // namespace

bool GameCore::SpawnColourBar(const std::array<int32_t, 4>& colours, int column, int row) {
    const int n = std::clamp(state.pieceCellCount, 0, 4);
    for (int i = 0; i < n; ++i) {
        Cell& cell = state.piece.cells[i];
        if (state.gameType == ColorBlocks) {
            cell.column = column;
            cell.row = row + i;
        } else {
            cell.column = column + i - 1;
            cell.row = row;
        }
        cell.colour = colours[i];
        cell.rotating = 0;
        cell.falling = 0;
        cell.movingLeft = 0;
        cell.movingRight = 0;
        cell.vanishing = 0;
        if (IsCellOccupied(cell.column, cell.row)) {
            state.piece.active = 0;
            return false;
        }
    }
    state.piece.appearProgress = 0;
    state.piece.appearing = 1;
    state.dropRequested = 0;
    Emit(GameEventKind::PiecePlaced, 0, -1);
    return true;
}

// Colours move one cell on (down a vertical bar, right along a horizontal one); the last colour
// comes round to cell 0. Nothing is tested: a cycle always succeeds.
void GameCore::CyclePieceColours() {
    const int n = std::clamp(state.pieceCellCount, 0, 4);
    if (n == 0) {
        return;
    }
    for (int i = 0; i < n; ++i) {
        state.candidates[i].colour = state.piece.cells[(i + n - 1) % n].colour;
    }
    for (int i = 0; i < n; ++i) {
        state.piece.cells[i].colour = state.candidates[i].colour;
    }
}

// The falling bar holds up what rests on it: a loose cell must not sink into a position the bar
// covers, or the bar's lock would leave two cells on one position.
bool GameCore::BarBlocks(int column, int row) const {
    return (state.piece.active || state.piece.appearing) && PieceOccupies(column, row);
}

void GameCore::ApplyGravity() {
    for (int i = 0; i < state.well.count; ++i) {
        const Cell& cell = state.well.cells[i];
        if (cell.row < WellRows && !cell.falling && !IsCellOccupied(cell.column, cell.row + 1) &&
            !BarBlocks(cell.column, cell.row + 1)) {
            MoveWellCell(i, cell.column, cell.row + 1);
            state.well.cells[i].falling = 1;
            state.well.cells[i].fallProgress = 0;
        }
    }
}

bool GameCore::AnyCellUnsettled() const {
    for (int i = 0; i < state.well.count; ++i) {
        const Cell& cell = state.well.cells[i];
        if (cell.falling) {
            return true;
        }
        if (cell.row < WellRows && !IsCellOccupied(cell.column, cell.row + 1) &&
            !BarBlocks(cell.column, cell.row + 1)) {
            return true;
        }
    }
    return false;
}

bool GameCore::IsSettled(int column, int row) const {
    if (column < 1 || column > WellColumns || row < 1 || row > WellRows) {
        return false;
    }
    for (int y = row; y <= WellRows; ++y) {
        const int index = FindCell(column, y);
        if (index < 0 || state.well.cells[index].falling) {
            return false;
        }
    }
    return true;
}

bool GameCore::SettledInPass(int column, int row) const {
    return column >= 1 && column <= WellColumns && row >= 1 && row <= WellRows && row >= settledTop[column];
}

// One pass: mark every run of three or more equal colours on settled columns, then remove the
// cells that have been marked for longer than the vanish delay.
int GameCore::MatchColours() {
    debrisOrderUsed = -1;
    // Nothing moves while the runs are collected, so each column's settled part is found once.
    for (int column = 1; column <= WellColumns; ++column) {
        int top = WellRows + 1;
        for (int row = WellRows; row >= 1; --row) {
            const int index = FindCell(column, row);
            if (index < 0 || state.well.cells[index].falling) {
                break;
            }
            top = row;
        }
        settledTop[column] = static_cast<int8_t>(top);
    }

    int matched = 0;
    std::array<int16_t, MaxRunLength> run{};
    for (int s = 0; s < state.well.count; ++s) {
        const Cell& start = state.well.cells[s];
        if (!SettledInPass(start.column, start.row)) {
            continue;  // no run can start on a loose or moving cell
        }
        for (const Direction& d : RunDirections) {
            int length = 0;
            for (int k = 0; k < MaxRunLength; ++k) {
                const int column = start.column + k * d.dx;
                const int row = start.row + k * d.dy;
                if (!SettledInPass(column, row)) {
                    break;
                }
                const int index = k == 0 ? s : FindCell(column, row);
                if (state.well.cells[index].colour != start.colour) {
                    break;
                }
                run[length++] = static_cast<int16_t>(index);
            }
            if (length < 3) {
                continue;
            }
            for (int k = 0; k < length; ++k) {
                if (!inMatch[run[k]]) {
                    inMatch[run[k]] = 1;
                    matchList[matched++] = run[k];
                }
            }
            if (!start.vanishing) {
                state.lines += 1;
            }
        }
    }
    for (int m = 0; m < matched; ++m) {
        Cell& cell = state.well.cells[matchList[m]];
        inMatch[matchList[m]] = 0;
        if (!cell.vanishing) {
            cell.vanishing = 1;
            cell.vanishStartTime = now;
        }
    }

    int removed = 0;
    for (int i = 0; i < state.well.count;) {
        const Cell& cell = state.well.cells[i];
        if (cell.vanishing && now - cell.vanishStartTime > VanishDelay) {
            AddDebris(cell);
            RemoveWellCell(i);  // the former last cell now stands at i and is examined next
            ++removed;
        } else {
            ++i;
        }
    }
    if (removed > 0) {
        state.chainCount += 1;
        // A pass that removes fewer than three cells (a late cell joining a run already vanishing)
        // scores nothing.
        if (removed >= 3) {
            state.score += removed * 10 * state.chainCount;
        }
        Emit(GameEventKind::CellsRemoved, removed, state.chainCount);
    }
    return removed;
}

void GameCore::PlaceColourBar() {
    for (int i = 0; i < 3; ++i) {
        const int next = state.nextBarColours[i];
        state.currentBarColours[i] = (next >= 0 && next <= 6) ? next : RandomInt(0, 6);
        state.nextBarColours[i] = RandomInt(0, 6);
    }
    state.dropSpeed = static_cast<float>(state.level) * 0.8f + 1.0f;
    if (!SpawnColourBar(state.currentBarColours, 6, 1)) {
        LoseGame();
    }
}

void GameCore::RunColourStep() {
    if (now - state.lastStepTime > 1.0f / state.dropSpeed) {
        state.lastStepTime = now;
        if (!state.piece.active && !state.piece.appearing) {
            if (!AnyCellUnsettled()) {
                PlaceColourBar();
            }
        } else if (!state.piece.appearing) {
            if (!StepPieceDown() && !AnyPieceCellFalling()) {
                Play(EffectFall);
                LockPiece();
            }
        }
    }
    ApplyGravity();
    if (MatchColours() > 0) {
        Play(EffectFill);
    }
    if (IsPieceControllable()) {
        RunControls();
    }
    if (state.dropRequested) {
        state.dropSpeed = DropRequestSpeed;
    }
}
