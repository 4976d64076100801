// The well's cells and the position index that answers the lookups. The index keeps, per position,
// the lowest array index of a cell standing there, so FindCell answers exactly what a search over
// the cells in array order would, without the search.
#include <algorithm>

#include "core/game_core.h"

namespace {
constexpr int IndexColumns = WellColumns + 2;
constexpr int IndexRows = WellRows + 2;
}  // namespace

int GameCore::IndexSlot(int column, int row) {
    if (column < 0 || column >= IndexColumns || row < 0 || row >= IndexRows) {
        return -1;
    }
    return column * IndexRows + row;
}

bool GameCore::IsCellOccupied(int column, int row) const {
    return FindCell(column, row) >= 0;
}

int GameCore::FindCell(int column, int row) const {
    const int slot = IndexSlot(column, row);
    return slot < 0 ? -1 : firstCellAt[slot];
}

bool GameCore::PieceOccupies(int column, int row) const {
    const int n = std::clamp(state.pieceCellCount, 0, 4);
    for (int i = 0; i < n; ++i) {
        if (state.piece.cells[i].column == column && state.piece.cells[i].row == row) {
            return true;
        }
    }
    return false;
}

bool GameCore::IsPieceControllable() const {
    return state.piece.active && !state.piece.appearing;
}

void GameCore::ClearWell() {
    state.well.count = 0;
    firstCellAt.fill(-1);
    cellsAt.fill(0);
}

void GameCore::RebuildCellIndex() {
    state.well.count = std::clamp(state.well.count, 0, WellCapacity);
    firstCellAt.fill(-1);
    cellsAt.fill(0);
    for (int i = 0; i < state.well.count; ++i) {
        const int slot = IndexSlot(state.well.cells[i].column, state.well.cells[i].row);
        if (slot < 0) {
            continue;
        }
        if (cellsAt[slot]++ == 0) {
            firstCellAt[slot] = static_cast<int16_t>(i);
        }
    }
}

// Only needed while two cells share a position: then the lowest index there is not known locally.
int GameCore::ScanFirstCellAt(int slot) const {
    for (int i = 0; i < state.well.count; ++i) {
        if (IndexSlot(state.well.cells[i].column, state.well.cells[i].row) == slot) {
            return i;
        }
    }
    return -1;
}

// Brings one slot up to date after its count changed. knownIndex is the one cell known to stand
// there now (or -1 when none is known).
void GameCore::RefreshSlot(int slot, int knownIndex) {
    if (cellsAt[slot] == 0) {
        firstCellAt[slot] = -1;
    } else if (cellsAt[slot] == 1 && knownIndex >= 0) {
        firstCellAt[slot] = static_cast<int16_t>(knownIndex);
    } else {
        firstCellAt[slot] = static_cast<int16_t>(ScanFirstCellAt(slot));
    }
}

void GameCore::AppendWellCell(const Cell& cell) {
    if (state.well.count >= WellCapacity) {
        return;  // cannot happen in play: a full well holds 240 cells
    }
    const int index = state.well.count++;
    state.well.cells[index] = cell;
    const int slot = IndexSlot(cell.column, cell.row);
    if (slot >= 0 && cellsAt[slot]++ == 0) {
        firstCellAt[slot] = static_cast<int16_t>(index);
    }
}

void GameCore::RemoveWellCell(int index) {
    if (index < 0 || index >= state.well.count) {
        return;
    }
    const int last = state.well.count - 1;
    const int oldSlot = IndexSlot(state.well.cells[index].column, state.well.cells[index].row);
    const int movedSlot = IndexSlot(state.well.cells[last].column, state.well.cells[last].row);
    // The last cell fills the gap, so the array stays dense.
    state.well.cells[index] = state.well.cells[last];
    state.well.count = last;
    if (oldSlot >= 0) {
        --cellsAt[oldSlot];
        RefreshSlot(oldSlot, -1);
    }
    if (index != last && movedSlot >= 0) {
        RefreshSlot(movedSlot, index);
    }
}

void GameCore::MoveWellCell(int index, int column, int row) {
    if (index < 0 || index >= state.well.count) {
        return;
    }
    Cell& cell = state.well.cells[index];
    const int oldSlot = IndexSlot(cell.column, cell.row);
    const int newSlot = IndexSlot(column, row);
    cell.column = column;
    cell.row = row;
    if (oldSlot == newSlot) {
        return;
    }
    if (oldSlot >= 0) {
        --cellsAt[oldSlot];
        RefreshSlot(oldSlot, -1);
    }
    if (newSlot >= 0) {
        if (cellsAt[newSlot]++ == 0 || index < firstCellAt[newSlot]) {
            firstCellAt[newSlot] = static_cast<int16_t>(index);
        }
    }
}

// A full effect list gives up the effect nearest its end (the one that has been shown longest), so
// the newest removal is always shown. A pass can remove up to 240 cells at once, so the order of
// giving way is sorted once per pass rather than searched per cell.
void GameCore::AddDebris(const Cell& cell) {
    DebrisList& debris = state.debris;
    debris.count = std::clamp(debris.count, 0, DebrisCapacity);
    int target = debris.count;
    if (debris.count == DebrisCapacity) {
        if (debrisOrderUsed < 0 || debrisOrderUsed >= DebrisCapacity) {
            for (int i = 0; i < DebrisCapacity; ++i) {
                debrisOrder[i] = static_cast<uint8_t>(i);
            }
            std::stable_sort(debrisOrder.begin(), debrisOrder.end(), [&debris](uint8_t a, uint8_t b) {
                return debris.cells[a].debrisProgress > debris.cells[b].debrisProgress;
            });
            debrisOrderUsed = 0;
        }
        target = debrisOrder[debrisOrderUsed++];
    } else {
        ++debris.count;
    }
    debris.cells[target] = cell;
    debris.cells[target].debrisProgress = 0;
}

// Every cell above the removed row comes down one row. The cells are moved lowest row first, so
// each one moves onto a position that has just been emptied and no two cells ever share one.
void GameCore::ShiftRowsAboveDown(int removedRow) {
    std::array<int16_t, WellRows + 2> rowStart{};
    std::array<int16_t, WellCapacity> byRow{};
    for (int i = 0; i < state.well.count; ++i) {
        const int row = state.well.cells[i].row;
        if (row >= 1 && row < removedRow) {
            ++rowStart[row + 1];
        }
    }
    for (int row = 1; row <= WellRows; ++row) {
        rowStart[row + 1] = static_cast<int16_t>(rowStart[row + 1] + rowStart[row]);
    }
    const int total = rowStart[std::min(removedRow, WellRows + 1)];
    std::array<int16_t, WellRows + 2> fill = rowStart;
    for (int i = 0; i < state.well.count; ++i) {
        const int row = state.well.cells[i].row;
        if (row >= 1 && row < removedRow) {
            byRow[fill[row]++] = static_cast<int16_t>(i);
        }
    }
    for (int k = total - 1; k >= 0; --k) {
        Cell& cell = state.well.cells[byRow[k]];
        MoveWellCell(byRow[k], cell.column, cell.row + 1);
        cell.falling = 1;
        cell.fallProgress = 0;
    }
}

int GameCore::RemoveFullRows() {
    debrisOrderUsed = -1;
    int count = 0;
    for (int row = 1; row <= WellRows; ++row) {
        bool full = true;
        for (int column = 1; column <= WellColumns && full; ++column) {
            full = IsCellOccupied(column, row);
        }
        if (!full) {
            continue;
        }
        ++count;
        for (int i = 0; i < state.well.count;) {
            if (state.well.cells[i].row == row) {
                AddDebris(state.well.cells[i]);
                RemoveWellCell(i);  // the former last cell now stands at i and is examined next
            } else {
                ++i;
            }
        }
        ShiftRowsAboveDown(row);
    }
    if (count > 0) {
        static constexpr int RowPoints[5] = {0, 100, 250, 400, 600};
        state.score += RowPoints[count < 4 ? count : 4];
        state.lines += count;
        Emit(GameEventKind::RowsRemoved, count);
    }
    return count;
}
