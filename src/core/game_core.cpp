// The game's step function and what it shares: the frame-rate meter, the new game, the level clock, the
// Classic step with its controls, and the per-frame animation advance.
#include "core/game_core.h"

#include <cmath>
#include <limits>

namespace {
constexpr float DefaultStepFrameRate = 60.0f;
constexpr int SecondsPerLevel = 120;
constexpr float LockDelay = 0.1f;
constexpr float LevelUpRate = 0.5f;
constexpr float RotationRate = 10.0f;
constexpr float SidewaysRate = 24.0f;
constexpr float SettledFallRate = 3.0f;
constexpr float DebrisRate = 1.5f;

float LevelDropSpeed(int level) {
    return static_cast<float>(level) * 0.8f + 1.0f;
}

// One animation of a piece cell: the flag drops when the next step would complete it; the progress
// is then left where it is.
void AdvanceAnimation(int32_t& flag, float& progress, float rate) {
    if (progress + rate >= 1.0f) {
        flag = 0;
    } else {
        progress += rate;
    }
}

// A repeat count passes 1 and is never reset while the key stays held; it must not overflow either.
void CountRepeat(int32_t& count) {
    if (count < std::numeric_limits<int32_t>::max()) {
        ++count;
    }
}
}  // namespace

float FrameRateMeter::Measure(uint32_t tickCountMs) {
    const float t = static_cast<float>(tickCountMs * 0.001);
    // No frame ran for more than a second (the window was minimised, or the machine stalled): counting
    // the frames over that stretch would give a rate near zero and make every step of the next second
    // huge, so the count starts again here and the last rate stays.
    if (t - lastFrameTime > MaxFrameGap) {
        frameCount = 0;
        lastMeasureTime = t;
    }
    lastFrameTime = t;
    ++frameCount;
    if (t - lastMeasureTime > 1.0f) {
        rate = static_cast<float>(frameCount) / (t - lastMeasureTime);
        frameCount = 0;
        lastMeasureTime = t;
    }
    return rate;
}

GameCore::GameCore(GameHost& gameHost) : host(gameHost) {
    ClearWell();
}

void GameCore::SetFrameRate(float measuredFrameRate) {
    frameRate = measuredFrameRate;
}

// Before the meter's first second there is no rate; every per-frame step would divide by zero.
float GameCore::StepFrameRate() const {
    return (std::isfinite(frameRate) && frameRate > 0.0f) ? frameRate : DefaultStepFrameRate;
}

void GameCore::Emit(GameEventKind kind, int a, int b, int c) {
    host.OnGameEvent(GameEvent{kind, a, b, c});
}

void GameCore::Play(WaveEffect effect) {
    if (soundOn) {
        host.PlayEffect(effect);
    }
}

void GameCore::StartNewGame(float time) {
    now = time;
    state.levelUpProgress = 1.0f;
    state.gameType = static_cast<GameType>(state.gameModeIndex / 2);
    state.bonusesEnabled = state.gameModeIndex % 2 != 0;
    state.pieceCellCount = state.gameType == Classic ? 4 : 3;
    Play(EffectAction);
    host.OnGameStarted();  // enters Playing and draws the new background with RandomInt(0, 2)
    state.gameStartTime = time;
    state.lastStepTime = time;
    state.score = 0;
    state.lines = 0;
    state.level = 1;
    for (BonusItem& item : state.bonus) {
        item.stamp = 0;
        item.active = 0;
    }
    state.dropSpeed = LevelDropSpeed(state.level);
    state.piece.active = 0;
    // A game ended from the pause screen can leave its piece half appeared; it must not carry over.
    state.piece.appearing = 0;
    state.piece.appearProgress = 1.0f;
    state.gameOverTime = -100.0f;
    state.lockPending = 0;
    // A game usually ends on a hard drop whose spawn failed before clearing the request; carried over,
    // it would bring the new game's first piece in at the drop speed instead of the level's.
    state.dropRequested = 0;
    state.nextShape = -1;
    state.nextColour = -1;
    for (int i = 0; i < state.pieceCellCount; ++i) {
        state.nextBarColours[i] = -1;
    }
    ClearWell();
}

void GameCore::RunLevelClock() {
    const float played = now - state.gameStartTime;
    // Clamped so that a clock running backwards or absurdly far cannot make a level 0 or overflow.
    state.elapsedSeconds = played <= 0.0f ? 0 : played >= 2.0e9f ? 2000000000 : static_cast<int32_t>(played);
    const int newLevel = state.elapsedSeconds / SecondsPerLevel + 1;
    if (state.level != newLevel) {
        state.score += state.level * 50;  // for the level being left
        Play(EffectLevel);
        state.levelUpProgress = 0.0f;
        Emit(GameEventKind::LevelChanged, newLevel);
    }
    if (state.levelUpProgress != 1.0f) {
        state.levelUpProgress += LevelUpRate / StepFrameRate();
        if (state.levelUpProgress >= 1.0f) {
            state.levelUpProgress = 1.0f;
        }
    }
    state.level = newLevel;
}

void GameCore::SetKeyRepeat(float first, float interval) {
    firstRepeat = first;
    repeatInterval = interval;
}

// The held keys: each arrow moves at once, again after firstRepeat (0.225 s), then every interval
// (0.025 s); the down arrow or the left button hurries the piece.
void GameCore::RunControls() {
    const bool right = host.IsKeyHeld(VK_RIGHT);
    if (!right && state.rightRepeatCount != 0) {
        state.rightRepeatCount = 0;
    }
    if (right) {
        const float wait = state.rightRepeatCount == 1 ? firstRepeat : repeatInterval;
        if (now - state.rightLastMoveTime >= wait) {
            CountRepeat(state.rightRepeatCount);
            state.rightLastMoveTime = now;
            MovePieceRight();
        }
    }
    const bool left = host.IsKeyHeld(VK_LEFT);
    if (!left && state.leftRepeatCount != 0) {
        state.leftRepeatCount = 0;
    }
    if (left) {
        const float wait = state.leftRepeatCount == 1 ? firstRepeat : repeatInterval;
        if (now - state.leftLastMoveTime >= wait) {
            CountRepeat(state.leftRepeatCount);
            state.leftLastMoveTime = now;
            MovePieceLeft();
        }
    }
    if (host.IsKeyHeld(VK_DOWN) || host.IsKeyHeld(VK_LBUTTON)) {
        state.dropSpeed = DropRequestSpeed / 2.0f;
    } else {
        state.dropSpeed = LevelDropSpeed(state.level);
    }
}

void GameCore::RunClassicStep() {
    // Drop step.
    if (now - state.lastStepTime > 1.0f / state.dropSpeed) {
        state.lastStepTime = now;
        if (!state.piece.active && !state.piece.appearing) {
            PlaceClassicPiece();
        } else if (!state.piece.appearing) {
            if (StepPieceDown()) {
                state.lockPending = 0;
            } else if (!AnyPieceCellFalling() && !state.lockPending) {
                Play(EffectFall);
                state.lockTime = now + LockDelay;
                state.lockPending = 1;
            }
        }
    }
    // Lock check: the touched-down piece can still slide off its ledge until the delay is over.
    if (state.lockPending && now > state.lockTime && !AnyPieceCellFalling() && !CanMoveDown()) {
        state.lockPending = 0;
        LockPiece();
    }
    if (RemoveFullRows() > 0) {
        Play(EffectFill);
    }
    if (IsPieceControllable()) {
        RunControls();
    }
    if (state.dropRequested) {
        state.dropSpeed = DropRequestSpeed;
    }
}

void GameCore::AdvancePlay(float time) {
    now = time;
    RunLevelClock();
    RunBonusPass();
    if (state.gameType == ColorBlocks || state.gameType == RotatedColorBlocks) {
        RunColourStep();
    } else {
        RunClassicStep();
    }
}

void GameCore::AdvanceAnimations(bool paused) {
    AdvanceWellAnimations();
    AdvanceAppearance();
    AdvanceDebris(paused);
}

void GameCore::AdvanceWellAnimations() {
    const float f = StepFrameRate();
    const int pieceCells = state.pieceCellCount < 0 ? 0 : state.pieceCellCount > 4 ? 4 : state.pieceCellCount;
    if (state.piece.active) {
        const float rotation = RotationRate / f;
        const float fall = state.dropSpeed / f;
        const float sideways = SidewaysRate / f;
        for (int i = 0; i < pieceCells; ++i) {
            Cell& cell = state.piece.cells[i];
            AdvanceAnimation(cell.rotating, cell.rotateProgress, rotation);
            AdvanceAnimation(cell.falling, cell.fallProgress, fall);
            AdvanceAnimation(cell.movingLeft, cell.moveLeftProgress, sideways);
            AdvanceAnimation(cell.movingRight, cell.moveRightProgress, sideways);
        }
    }
    const float settledFall = SettledFallRate / f;
    for (int i = 0; i < state.well.count; ++i) {
        Cell& cell = state.well.cells[i];
        AdvanceAnimation(cell.falling, cell.fallProgress, settledFall);
    }
}

void GameCore::AdvanceAppearance() {
    const float f = StepFrameRate();
    if (state.piece.appearing) {
        state.piece.appearProgress += (state.dropSpeed + 8.0f) / (4.0f * f);
        if (state.piece.appearProgress >= 1.0f) {
            state.piece.appearProgress = 1.0f;
            state.piece.active = 1;
            state.piece.appearing = 0;
        }
    }
}

void GameCore::AdvanceDebris(bool paused) {
    const float f = StepFrameRate();
    // Removal effects stand still behind the pause screen.
    if (!paused) {
        const float debrisStep = DebrisRate / f;
        for (int i = 0; i < state.debris.count;) {
            Cell& cell = state.debris.cells[i];
            if (cell.debrisProgress < 1.0f) {
                cell.debrisProgress += debrisStep;
                ++i;
            } else {
                cell = state.debris.cells[--state.debris.count];
            }
        }
    }
}
