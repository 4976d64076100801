// What the keys and the pad buttons do in play. Each of the six actions has one key and one pad
// button; the turn, drop and pause actions also answer to the fixed second keys of the key map (Clear
// and keypad 5 turn, Return drops, Backspace, P and Pause pause; the d-pad's up turns) as long as no
// other action has taken that key. The mouse is not bound here: the shell steers, turns and hurries
// with it as it always does.
//  - Every action has a key and a button, and no two actions share one.
#pragma once

#include <array>
#include <string>

#include "base/keys.h"

// The actions in the order the controls screen and config.ini [CONTROLS] list them.
enum class GameAction { Left, Right, Down, Turn, Drop, Pause };
constexpr int GameActionCount = 6;

struct Controls {
    std::array<int, GameActionCount> keys{};     // key codes (VK_LEFT ...)
    std::array<int, GameActionCount> buttons{};  // pad buttons (PAD_DPLEFT ...)
};

// The key map as the game ships it: the arrows, Space and Escape; the d-pad, A, B and Start.
Controls DefaultControls();

// Whether pressing this key (or pad button) does the action: the action's own key, or one of its
// second keys that no action has taken.
bool KeyDoes(const Controls& controls, GameAction action, int key);
bool ButtonDoes(const Controls& controls, GameAction action, int button);

// How the screens name an action ("Move Left" ...) and a pad button ("D-pad Left", "A" ...): texts
// that language.ini translates.
const char* ActionLabel(GameAction action);
std::string PadButtonLabel(int button);

// The action's name in config.ini [CONTROLS] ("Left" ... "Pause"; the pad's with "Pad" in front).
const char* ActionKeyName(GameAction action);
std::string ActionButtonName(GameAction action);
