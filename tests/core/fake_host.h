// A stand-in for the application around the core: records the effects and events, lets a test
// hold keys, and does what the shell does on a new game and on game over.
#pragma once

#include <algorithm>
#include <set>
#include <vector>

#include "core/game_core.h"

// What the shell around the core would show: nothing yet, the game, or the game-over wait.
enum HostState { Idle, Playing, GameOver };

class FakeHost : public GameHost {
public:
    std::set<int> heldKeys;
    std::vector<WaveEffect> effects;
    std::vector<GameEvent> events;
    HostState appState = Idle;
    int background = -1;
    int gameOverCalls = 0;
    // What had been played when OnGameStarted ran: the new-game sound comes first.
    size_t effectsAtStart = 0;

    bool IsKeyHeld(int virtualKey) const override { return heldKeys.count(virtualKey) != 0; }
    void PlayEffect(WaveEffect effect) override { effects.push_back(effect); }
    void OnGameStarted() override {
        appState = Playing;
        background = RandomInt(0, 2);
        effectsAtStart = effects.size();
    }
    void OnGameOver() override {
        appState = GameOver;
        ++gameOverCalls;
    }
    void OnGameEvent(const GameEvent& event) override { events.push_back(event); }

    int CountEffect(WaveEffect effect) const {
        return static_cast<int>(std::count(effects.begin(), effects.end(), effect));
    }
    std::vector<GameEvent> EventsOf(GameEventKind kind) const {
        std::vector<GameEvent> found;
        for (const GameEvent& e : events) {
            if (e.kind == kind) {
                found.push_back(e);
            }
        }
        return found;
    }
    void Forget() {
        effects.clear();
        events.clear();
    }
};

inline Cell MakeCell(int column, int row, int colour = 0) {
    Cell cell;
    cell.column = column;
    cell.row = row;
    cell.colour = colour;
    return cell;
}

// A core with its host, a game of the chosen mode started at time 0, sound on and 60 frames/s.
struct CoreRig {
    FakeHost host;
    GameCore core{host};
    float time = 0;

    explicit CoreRig(int gameModeIndex, float frameRate = 60.0f) {
        core.soundOn = 1;
        core.state.gameModeIndex = gameModeIndex;
        core.SetFrameRate(frameRate);
        core.StartNewGame(0.0f);
        host.Forget();
    }

    // Frames as the shell runs them while playing: the step, then the drawn frame's advance.
    void RunUntil(float until, float frameRate = 60.0f) {
        while (time + 0.5f / frameRate < until) {
            time += 1.0f / frameRate;
            if (host.appState == Playing) {
                core.AdvancePlay(time);
            }
            core.AdvanceAnimations(false);
        }
    }

    // Places a Classic piece that is already falling and controllable.
    void PlacePiece(int shape, int column, int row, int colour = 0) {
        core.SpawnClassicPiece(shape, column, row, colour);
        core.state.piece.appearing = 0;
        core.state.piece.active = 1;
        core.state.piece.appearProgress = 1.0f;
    }
};

// The lookups answered the slow way: the lowest index of a cell at the position.
inline int LinearFind(const GameState& state, int column, int row) {
    for (int i = 0; i < state.well.count; ++i) {
        if (state.well.cells[i].column == column && state.well.cells[i].row == row) {
            return i;
        }
    }
    return -1;
}
