// The game core's record: the well of 12 x 20 cells, the falling piece, the removal effects, the
// Classic shapes, every counter, timer and flag of a running game, and the two bonus slots. Positions
// are 1-based: column 1..12 from the left, row 1..20 from the top; row + 1 is down. There is only ever
// one game; GameState lives for the whole run and is reset by StartNewGame. Standard C++ only.
#pragma once

#include <array>
#include <cstdint>

constexpr int WellColumns = 12;
constexpr int WellRows = 20;
constexpr int WellCapacity = 1001;
constexpr int DebrisCapacity = 101;
constexpr int ColourCount = 7;

enum GameType : int32_t { Classic = 0, ColorBlocks = 1, RotatedColorBlocks = 2 };

// Wave effects, numbered in load order.
enum WaveEffect : int32_t {
    EffectAction = 1,
    EffectFill = 2,
    EffectFall = 3,
    EffectGameOver = 4,
    EffectBonus = 5,
    EffectGetBonus = 6,
    EffectLevel = 7,
};

struct Cell {
    int32_t column = 0;
    int32_t row = 0;
    int32_t colour = 0;
    int32_t rotating = 0;
    float rotateProgress = 0;
    int32_t movingLeft = 0;
    float moveLeftProgress = 0;
    int32_t movingRight = 0;
    float moveRightProgress = 0;
    int32_t falling = 0;
    float fallProgress = 0;
    float debrisProgress = 0;
    int32_t vanishing = 0;
    float vanishStartTime = 0;
};

struct Well {
    std::array<Cell, WellCapacity> cells{};
    int32_t count = 0;
};

struct DebrisList {
    std::array<Cell, DebrisCapacity> cells{};
    int32_t count = 0;
};

struct FallingPiece {
    std::array<Cell, 4> cells{};
    int32_t shape = 0;
    int32_t active = 0;
    int32_t appearing = 0;
    float appearProgress = 1.0f;
};

struct BonusItem {
    int32_t active = 0;
    int32_t column = 0;
    int32_t row = 0;
    int32_t stamp = 0;
};

enum BonusKind : int32_t { PointsBonus = 0, ClearBonus = 1 };

struct Offset {
    int32_t dx, dy;
};

// The seven Classic shapes (index 1..7; entry 0 unused): four offsets from the pivot, dy downwards.
extern const std::array<std::array<Offset, 4>, 8> PieceShapeTable;

struct GameState {
    int32_t gameModeIndex = 1;
    GameType gameType = Classic;
    int32_t bonusesEnabled = 1;
    int32_t pieceCellCount = 4;
    Well well;
    FallingPiece piece;
    std::array<Cell, 4> candidates{};
    DebrisList debris;
    int32_t score = 0;
    int32_t lines = 0;
    int32_t level = 1;
    int32_t elapsedSeconds = 0;
    float gameStartTime = 0;
    float lastStepTime = 0;
    float dropSpeed = 1.8f;
    int32_t dropRequested = 0;
    int32_t lockPending = 0;
    float lockTime = 0;
    int32_t nextShape = -1;
    int32_t nextColour = -1;
    int32_t currentShape = 0;
    int32_t currentColour = 0;
    std::array<int32_t, 4> nextBarColours{-1, -1, -1, -1};
    std::array<int32_t, 4> currentBarColours{};
    int32_t chainCount = 0;
    float levelUpProgress = 1.0f;
    float gameOverTime = -100.0f;
    std::array<BonusItem, 2> bonus{};
    int32_t rightRepeatCount = 0;
    int32_t leftRepeatCount = 0;
    float rightLastMoveTime = 0;
    float leftLastMoveTime = 0;
};

// Fixed settings of the rules.
constexpr float DropRequestSpeed = 70.0f;
constexpr float KeyRepeatInterval = 0.025f;
constexpr float KeyRepeatDelay = 0.2f;
