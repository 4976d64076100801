// What the keys and the pad buttons do in play. Each of the six actions has one key and one pad
// button; the turn, drop and pause actions also answer to the fixed second keys of the key map (Clear
// and keypad 5 turn, Return drops, Backspace, P and Pause pause; the d-pad's up turns) as long as no
// other action has taken that key. The mouse is not bound here: the shell steers, turns and hurries
// with it as it always does. A held sideways move repeats with the player's timing.
//  - Every action has a key and a button, and no two actions share one.
//  - The repeat timing lies within its ranges (RepeatDelayRange, RepeatIntervalRange).
// config.ini [CONTROLS] keeps them: Left ... Pause and PadLeft ... PadPause as SDL names the key or
// button ("Left", "Keypad 5", "a", "dpleft"), RepeatDelay and RepeatInterval in seconds.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "base/keys.h"
#include "core/game_state.h"

// The actions in the order the controls screen and config.ini [CONTROLS] list them.
enum class GameAction { Left, Right, Down, Turn, Drop, Pause };
constexpr int GameActionCount = 6;

// The time from a sideways press to its first repeat, and between repeats after that: the game's own
// (0.225 s, 0.025 s) and what a player may set.
constexpr float DefaultRepeatDelay = KeyRepeatInterval + KeyRepeatDelay;
constexpr float DefaultRepeatInterval = KeyRepeatInterval;
struct SecondsRange {
    float low, high;
};
constexpr SecondsRange RepeatDelayRange = {0.05f, 0.5f};
constexpr SecondsRange RepeatIntervalRange = {0.01f, 0.2f};

struct ControlSettings {
    std::array<int, GameActionCount> keys{};     // key codes (VK_LEFT ...)
    std::array<int, GameActionCount> buttons{};  // pad buttons (PAD_DPLEFT ...)
    float repeatDelay = DefaultRepeatDelay;
    float repeatInterval = DefaultRepeatInterval;
};

// The key map as the game ships it: the arrows, Space and Escape; the d-pad, A, B and Start.
ControlSettings DefaultControls();

// Whether pressing this key (or pad button) does the action: the action's own key, or one of its
// second keys that no action has taken.
bool KeyDoes(const ControlSettings& controls, GameAction action, int key);
bool ButtonDoes(const ControlSettings& controls, GameAction action, int button);

// Gives the action this key (or button). An action that had it before gets the action's old one in
// exchange, so nothing is ever left without; returns that action, or -1 when none had it.
int BindKey(ControlSettings& controls, GameAction action, int key);
int BindButton(ControlSettings& controls, GameAction action, int button);

// The controls that config.ini [CONTROLS] holds, read through `value` (the text of a key, "" when
// missing). A missing value keeps its default; a value that names no key or button, a key an earlier
// action already has, or a timing that is not a number keeps the default as well, and a timing out of
// its range is brought into it; each such value adds a line to problems.
ControlSettings ReadControls(const std::function<std::string(const std::string& key)>& value,
                             std::vector<std::string>& problems);

// The timing one step longer (+1) or shorter (-1): the delay in steps of 0.025 s, the interval in
// steps of 0.005 s, kept within their ranges.
float StepRepeatDelay(float delay, int direction);
float StepRepeatInterval(float interval, int direction);

// How the screens name an action ("Move Left" ...) and a pad button ("D-pad Left", "A" ...): texts
// that language.ini translates.
const char* ActionLabel(GameAction action);
std::string PadButtonLabel(int button);

// The action's name in config.ini [CONTROLS] ("Left" ... "Pause"; the pad's with "Pad" in front).
const char* ActionKeyName(GameAction action);
std::string ActionButtonName(GameAction action);
// A timing as config.ini and the screen show it: "0.225".
std::string SecondsText(float seconds);
