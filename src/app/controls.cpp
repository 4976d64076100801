#include "app/controls.h"

#include <algorithm>
#include <span>

namespace {

int Index(GameAction action) {
    return static_cast<int>(action);
}

bool Taken(const std::array<int, GameActionCount>& bound, int code) {
    return std::find(bound.begin(), bound.end(), code) != bound.end();
}

// The key map's second keys of an action.
std::span<const int> SecondKeys(GameAction action) {
    static constexpr int turn[] = {VK_CLEAR, VK_NUMPAD5};
    static constexpr int drop[] = {VK_RETURN};
    static constexpr int pause[] = {VK_BACK, 'P', VK_PAUSE};
    switch (action) {
        case GameAction::Turn:
            return turn;
        case GameAction::Drop:
            return drop;
        case GameAction::Pause:
            return pause;
        default:
            return {};
    }
}

}  // namespace

Controls DefaultControls() {
    Controls controls;
    controls.keys = {VK_LEFT, VK_RIGHT, VK_DOWN, VK_UP, VK_SPACE, VK_ESCAPE};
    controls.buttons = {PAD_DPLEFT, PAD_DPRIGHT, PAD_DPDOWN, PAD_A, PAD_B, PAD_START};
    return controls;
}

bool KeyDoes(const Controls& controls, GameAction action, int key) {
    if (controls.keys[Index(action)] == key) return true;
    for (int second : SecondKeys(action))
        if (second == key && !Taken(controls.keys, key)) return true;
    return false;
}

bool ButtonDoes(const Controls& controls, GameAction action, int button) {
    if (controls.buttons[Index(action)] == button) return true;
    return action == GameAction::Turn && button == PAD_DPUP && !Taken(controls.buttons, button);
}

const char* ActionLabel(GameAction action) {
    static const char* const labels[GameActionCount] = {"Move Left", "Move Right", "Fall Faster",
                                                        "Turn",      "Drop",       "Pause"};
    return labels[Index(action)];
}

std::string PadButtonLabel(int button) {
    static const char* const labels[PadButtonCount] = {"A",
                                                       "B",
                                                       "X",
                                                       "Y",
                                                       "Back",
                                                       "Guide",
                                                       "Start",
                                                       "Left Stick",
                                                       "Right Stick",
                                                       "Left Shoulder",
                                                       "Right Shoulder",
                                                       "D-pad Up",
                                                       "D-pad Down",
                                                       "D-pad Left",
                                                       "D-pad Right",
                                                       "Misc",
                                                       "Paddle 1",
                                                       "Paddle 2",
                                                       "Paddle 3",
                                                       "Paddle 4",
                                                       "Touchpad"};
    return button >= 0 && button < PadButtonCount ? labels[button] : "";
}

const char* ActionKeyName(GameAction action) {
    static const char* const names[GameActionCount] = {"Left", "Right", "Down", "Turn", "Drop", "Pause"};
    return names[Index(action)];
}

std::string ActionButtonName(GameAction action) {
    return std::string("Pad") + ActionKeyName(action);
}
