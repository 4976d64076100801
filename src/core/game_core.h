// The rules of the game: placing, moving, turning, dropping and locking pieces, row removal and
// scoring, the level clock, the two colour games with gravity and chained matches, and the bonus items.
// AdvancePlay is the one step function the shell runs per frame while Playing; AdvanceAnimations is
// the once-per-drawn-frame advance of the animation fields that the rules wait for. The core touches no
// clock, file or device: everything it needs from outside comes through GameHost.
#pragma once

#include <array>
#include <cstdint>

#include "base/keys.h"
#include "base/random.h"
#include "core/game_state.h"

enum class GameEventKind {
    PiecePlaced,    // a = shape (Classic) or 0, b = colour (Classic) or -1; cells are in state.piece
    PieceLocked,    // a = cells locked
    RowsRemoved,    // a = rows removed together
    CellsRemoved,   // a = cells removed in this pass, b = chainCount after it
    LevelChanged,   // a = new level
    BonusAppeared,  // a = slot, b = column, c = row
    BonusExpired,   // a = slot, b = column, c = row
    BonusCaught,    // a = slot, b = column, c = row
    GameLost,
};

struct GameEvent {
    GameEventKind kind;
    int32_t a = 0, b = 0, c = 0;
};

// What the core needs from the application around it.
class GameHost {
public:
    virtual ~GameHost() = default;
    // True while the key with this code is held (VK_LEFT, VK_RIGHT, VK_DOWN, VK_LBUTTON).
    virtual bool IsKeyHeld(int virtualKey) const = 0;
    // Plays a wave effect. The core calls it only when soundOn is set.
    virtual void PlayEffect(WaveEffect effect) = 0;
    // StartNewGame: the application enters Playing and picks a new background (RandomInt(0, 2)).
    virtual void OnGameStarted() = 0;
    // A new piece found no room: the application enters GameOver.
    virtual void OnGameOver() = 0;
    // Every event of the game, for the trace; does nothing by default.
    virtual void OnGameEvent(const GameEvent& event) { (void)event; }
};

class GameCore {
public:
    explicit GameCore(GameHost& host);

    GameState state;
    int32_t soundOn = 0;  // the player's sound option, copied in by the shell

    // How a held sideways key repeats: the second move firstRepeat seconds after the first, then one
    // every interval. The defaults are the game's own (0.225 s, then 0.025 s); the player may set others.
    void SetKeyRepeat(float firstRepeat, float interval);
    float FirstRepeat() const { return firstRepeat; }
    float RepeatInterval() const { return repeatInterval; }

    // The frame rate measured for this frame (measuredFrameRate). Until a first rate exists (0), every
    // per-frame step uses 60 frames per second.
    void SetFrameRate(float measuredFrameRate);
    float StepFrameRate() const;

    // Queries.
    bool IsCellOccupied(int column, int row) const;
    int FindCell(int column, int row) const;
    bool PieceOccupies(int column, int row) const;
    bool IsPieceControllable() const;

    void ClearWell();
    void StartNewGame(float now);
    void AdvancePlay(float now);
    // Once per drawn frame in Playing, Paused and GameOver, after AdvancePlay: the piece's and settled
    // cells' animations, the appearance, then the debris (which stands still while the game is paused).
    void AdvanceAnimations(bool paused);
    // The same in its three parts, for a frame that draws each part right after advancing it: the
    // piece's and settled cells' moves, the appearance, the removal effects.
    void AdvanceWellAnimations();
    void AdvanceAppearance();
    void AdvanceDebris(bool paused);

    // Piece operations called by input handling.
    void MovePieceLeft();
    void MovePieceRight();
    void TurnPiece();  // RotatePiece in Classic, CyclePieceColours in the colour games
    void RequestDrop();

    // Steps of the rules, public so that each is tested on its own.
    void RotatePiece();
    bool SpawnClassicPiece(int shape, int column, int row, int colour);
    bool StepPieceDown();
    bool CanMoveDown() const;
    void LockPiece();      // the piece joins the well and scores 5
    int RemoveFullRows();  // removes and scores the full rows, counts the lines; returns how many
    bool SpawnColourBar(const std::array<int32_t, 4>& colours, int column, int row);
    void CyclePieceColours();
    void ApplyGravity();
    bool AnyCellUnsettled() const;
    bool IsSettled(int column, int row) const;
    int MatchColours();  // marks runs, removes the cells whose time is up and scores them; returns how many
    void RunBonusPass();
    void RunLevelClock();

    // The well's cells change only through these, which keep the position index in step.
    void AppendWellCell(const Cell& cell);
    void RemoveWellCell(int index);
    void MoveWellCell(int index, int column, int row);
    // Rebuilds the position index from state.well, for code that filled the well by hand (a loaded
    // or copied state). Every rule of the core keeps the index in step by itself.
    void RebuildCellIndex();
    // The time that the rules stamp and compare (set by StartNewGame and AdvancePlay); lets a single
    // step such as MatchColours run at a chosen time.
    void SetTime(float time) { now = time; }

private:
    // The slot of (column, row) in the position index, or -1 outside columns 0..13 and rows 0..21.
    static int IndexSlot(int column, int row);
    int ScanFirstCellAt(int slot) const;
    void RefreshSlot(int slot, int knownIndex);
    void AddDebris(const Cell& cell);
    void ShiftRowsAboveDown(int removedRow);
    bool PieceMoveDown();
    bool AnyPieceCellFalling() const;
    bool BarBlocks(int column, int row) const;
    bool SettledInPass(int column, int row) const;
    void PlaceClassicPiece();
    void PlaceColourBar();
    void LoseGame();
    void RunControls();
    void RunClassicStep();
    void RunColourStep();
    void Emit(GameEventKind kind, int a = 0, int b = 0, int c = 0);
    void Play(WaveEffect effect);

    GameHost& host;
    float firstRepeat = KeyRepeatInterval + KeyRepeatDelay;
    float repeatInterval = KeyRepeatInterval;
    float frameRate = 0;
    float now = 0;
    // Position index: for each (column, row), the lowest well index of a cell there, or -1, and how
    // many cells stand there (more than one only for a moment, while several cells move at once).
    std::array<int16_t, size_t{WellColumns + 2} * (WellRows + 2)> firstCellAt{};
    std::array<uint16_t, size_t{WellColumns + 2} * (WellRows + 2)> cellsAt{};
    // MatchColours' per-pass knowledge: for each column, the top row of the unbroken run of still
    // cells that reaches the floor (21 when the floor position itself is empty or moving).
    std::array<int8_t, WellColumns + 2> settledTop{};
    std::array<uint8_t, WellCapacity> inMatch{};
    std::array<int16_t, WellCapacity> matchList{};
    // When the effect list is full, the order in which its entries give way (most advanced first),
    // worked out once per removal pass; debrisOrderUsed is -1 until then.
    std::array<uint8_t, DebrisCapacity> debrisOrder{};
    int debrisOrderUsed = -1;
};

// measuredFrameRate: frames per second, re-measured about once a second from the millisecond clock.
class FrameRateMeter {
public:
    float Measure(uint32_t tickCountMs);
    float Rate() const { return rate; }

private:
    static constexpr float MaxFrameGap = 1.0f;  // seconds
    int32_t frameCount = 0;
    float lastMeasureTime = 0;
    float lastFrameTime = 0;
    float rate = 0;
};
