// The falling piece: placement, the drop steps, sideways moves, rotation and the lock.
#include <algorithm>

#include "core/game_core.h"

const std::array<std::array<Offset, 4>, 8> PieceShapeTable = {{
    {{{0, 0}, {0, 0}, {0, 0}, {0, 0}}},
    {{{0, 0}, {0, -1}, {0, 1}, {0, 2}}},    // straight line of four, vertical
    {{{0, 0}, {1, 0}, {0, 1}, {0, 2}}},     // L, foot to the right at the top
    {{{0, 0}, {-1, 0}, {0, 1}, {0, 2}}},    // mirrored L
    {{{0, 0}, {0, -1}, {-1, 0}, {-1, 1}}},  // skew, left column one row lower
    {{{0, 0}, {0, -1}, {1, 0}, {1, 1}}},    // mirrored skew
    {{{0, 0}, {0, -1}, {-1, 0}, {1, 0}}},   // T, nose up
    {{{0, 0}, {1, 0}, {0, 1}, {1, 1}}},     // 2 x 2 square
}};

namespace {
bool InsideWell(int column, int row) {
    return column >= 1 && column <= WellColumns && row >= 1 && row <= WellRows;
}

void ClearMotion(Cell& cell) {
    cell.rotating = 0;
    cell.falling = 0;
    cell.movingLeft = 0;
    cell.movingRight = 0;
    cell.vanishing = 0;
}

int PieceCells(const GameState& state) {
    return std::clamp(state.pieceCellCount, 0, 4);
}
}  // namespace

bool GameCore::SpawnClassicPiece(int shape, int column, int row, int colour) {
    if (shape < 1 || shape > 7) {
        state.piece.active = 0;
        return false;
    }
    state.piece.shape = shape;
    for (int i = 0; i < PieceCells(state); ++i) {
        Cell& cell = state.piece.cells[i];
        cell.column = column + PieceShapeTable[shape][i].dx;
        cell.row = row + PieceShapeTable[shape][i].dy;
        cell.colour = colour;
        ClearMotion(cell);
        if (IsCellOccupied(cell.column, cell.row)) {
            state.piece.active = 0;
            return false;
        }
    }
    state.piece.appearProgress = 0;
    state.piece.appearing = 1;
    state.dropRequested = 0;
    Emit(GameEventKind::PiecePlaced, shape, colour);
    return true;
}

bool GameCore::AnyPieceCellFalling() const {
    for (int i = 0; i < PieceCells(state); ++i) {
        if (state.piece.cells[i].falling) {
            return true;
        }
    }
    return false;
}

bool GameCore::CanMoveDown() const {
    for (int i = 0; i < PieceCells(state); ++i) {
        const Cell& cell = state.piece.cells[i];
        if (cell.row + 1 > WellRows || IsCellOccupied(cell.column, cell.row + 1)) {
            return false;
        }
    }
    return true;
}

bool GameCore::PieceMoveDown() {
    if (!CanMoveDown()) {
        return false;
    }
    for (int i = 0; i < PieceCells(state); ++i) {
        Cell& cell = state.piece.cells[i];
        cell.row += 1;
        cell.falling = 1;
        cell.fallProgress = 0;
    }
    return true;
}

// One drop step moves as many rows as are due since the last one: at a high speed and a low frame
// rate steps cannot come faster than frames, so a step makes up the rows.
bool GameCore::StepPieceDown() {
    const float rowsDue = state.dropSpeed / StepFrameRate();
    if (rowsDue > 1.0f) {
        for (int k = 1; static_cast<float>(k) <= rowsDue && k <= WellRows; ++k) {
            if (!PieceMoveDown()) {
                return false;
            }
        }
        return true;
    }
    return PieceMoveDown();
}

void GameCore::LockPiece() {
    const int n = PieceCells(state);
    for (int i = 0; i < n; ++i) {
        AppendWellCell(state.piece.cells[i]);
    }
    state.piece.active = 0;
    state.chainCount = 0;
    state.score += 5;  // every piece that comes to rest
    Emit(GameEventKind::PieceLocked, n);
}

void GameCore::MovePieceLeft() {
    const int n = PieceCells(state);
    for (int i = 0; i < n; ++i) {
        const Cell& cell = state.piece.cells[i];
        if (!InsideWell(cell.column - 1, cell.row) || IsCellOccupied(cell.column - 1, cell.row)) {
            return;
        }
    }
    for (int i = 0; i < n; ++i) {
        Cell& cell = state.piece.cells[i];
        cell.column -= 1;
        cell.movingLeft = 1;
        cell.moveLeftProgress = 0;
    }
}

void GameCore::MovePieceRight() {
    const int n = PieceCells(state);
    for (int i = 0; i < n; ++i) {
        const Cell& cell = state.piece.cells[i];
        if (!InsideWell(cell.column + 1, cell.row) || IsCellOccupied(cell.column + 1, cell.row)) {
            return;
        }
    }
    for (int i = 0; i < n; ++i) {
        Cell& cell = state.piece.cells[i];
        cell.column += 1;
        cell.movingRight = 1;
        cell.moveRightProgress = 0;
    }
}

// Clockwise as seen on the screen: (dx, dy) from the pivot becomes (-dy, dx). Cell 0 is tried first;
// the other cells serve as fallback pivots, which lets a piece turn next to a wall or the stack.
void GameCore::RotatePiece() {
    const int n = PieceCells(state);
    std::array<Cell, 4>& cells = state.piece.cells;
    bool square = true;
    for (int i = 0; i < n; ++i) {
        square = square && cells[i].column == cells[0].column + PieceShapeTable[7][i].dx &&
                 cells[i].row == cells[0].row + PieceShapeTable[7][i].dy;
    }
    if (square) {
        return;
    }
    for (int p = 0; p < n; ++p) {
        bool fits = true;
        for (int j = 0; j < n && fits; ++j) {
            Cell& candidate = state.candidates[j];
            candidate = cells[j];
            candidate.column = cells[p].column + cells[p].row - cells[j].row;
            candidate.row = cells[p].row + cells[j].column - cells[p].column;
            fits = InsideWell(candidate.column, candidate.row) &&
                   !IsCellOccupied(candidate.column, candidate.row);
        }
        if (!fits) {
            continue;
        }
        for (int j = 0; j < n; ++j) {
            cells[j].column = state.candidates[j].column;
            cells[j].row = state.candidates[j].row;
            cells[j].rotating = 1;
            cells[j].rotateProgress = 0;
        }
        return;
    }
}

void GameCore::TurnPiece() {
    if (!IsPieceControllable()) {
        return;
    }
    if (state.gameType == Classic) {
        RotatePiece();
    } else {
        CyclePieceColours();
    }
}

void GameCore::RequestDrop() {
    if (IsPieceControllable()) {
        state.dropRequested = 1;
    }
}

// The next piece never repeats the shape or the colour of the one now falling.
void GameCore::PlaceClassicPiece() {
    state.currentShape = (state.nextShape >= 1 && state.nextShape <= 7) ? state.nextShape : RandomInt(1, 7);
    do {
        state.nextShape = RandomInt(1, 7);
    } while (state.nextShape == state.currentShape);
    state.currentColour =
        (state.nextColour >= 0 && state.nextColour <= 6) ? state.nextColour : RandomInt(0, 6);
    do {
        state.nextColour = RandomInt(0, 6);
    } while (state.nextColour == state.currentColour);
    state.dropSpeed = static_cast<float>(state.level) * 0.8f + 1.0f;
    if (!SpawnClassicPiece(state.currentShape, 6, 2, state.currentColour)) {
        LoseGame();
    }
}

void GameCore::LoseGame() {
    Play(EffectGameOver);
    state.gameOverTime = now;
    host.OnGameOver();
    Emit(GameEventKind::GameLost);
}
