#include "app/controls.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
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

// Gives the action at `index` the code; an action that had it takes the old one in exchange.
int Bind(std::array<int, GameActionCount>& bound, int index, int code) {
    const auto found = std::find(bound.begin(), bound.end(), code);
    const int other = found == bound.end() ? -1 : static_cast<int>(found - bound.begin());
    if (other == index) return -1;
    if (other >= 0) bound[static_cast<size_t>(other)] = bound[static_cast<size_t>(index)];
    bound[static_cast<size_t>(index)] = code;
    return other;
}

std::string NameOf(int code, bool pad) {
    return pad ? PadButtonName(code) : KeyBindingName(code);
}

std::string ConfigKey(int index, bool pad) {
    const auto action = static_cast<GameAction>(index);
    return pad ? ActionButtonName(action) : ActionKeyName(action);
}

// One device's bindings from config.ini: unreadable names keep their defaults, and of two actions on one
// key the one read from the file gives way (the later one when both were), until no two share a key.
void ReadBindings(std::array<int, GameActionCount>& bound, const std::array<int, GameActionCount>& defaults,
                  const std::function<std::string(const std::string&)>& value,
                  std::vector<std::string>& problems, bool pad) {
    std::array<bool, GameActionCount> fromFile{};
    for (int i = 0; i < GameActionCount; ++i) {
        const std::string key = ConfigKey(i, pad);
        const std::string text = value(key);
        if (text.empty()) continue;
        const int code = pad ? PadButtonFromName(text) : VirtualKeyFromBindingName(text);
        const bool known = pad ? code >= 0 : code > 0;
        if (!known) {
            problems.push_back("[CONTROLS] " + key + "=" + text + " names no " +
                               (pad ? "pad button" : "key") + "; " + key + " stays on " +
                               NameOf(defaults[static_cast<size_t>(i)], pad));
            continue;
        }
        bound[static_cast<size_t>(i)] = code;
        fromFile[static_cast<size_t>(i)] = true;
    }
    for (int pass = 0; pass <= GameActionCount; ++pass) {
        int first = -1, second = -1;
        for (int i = 0; i < GameActionCount && first < 0; ++i)
            for (int j = i + 1; j < GameActionCount; ++j)
                if (bound[static_cast<size_t>(i)] == bound[static_cast<size_t>(j)]) {
                    first = i;
                    second = j;
                    break;
                }
        if (first < 0) return;
        const int yields =
            fromFile[static_cast<size_t>(second)] || !fromFile[static_cast<size_t>(first)] ? second : first;
        const int keeps = yields == second ? first : second;
        problems.push_back("[CONTROLS] " + ConfigKey(yields, pad) + "=" +
                           NameOf(bound[static_cast<size_t>(yields)], pad) + " is " + ConfigKey(keeps, pad) +
                           "'s already; " + ConfigKey(yields, pad) + " stays on " +
                           NameOf(defaults[static_cast<size_t>(yields)], pad));
        bound[static_cast<size_t>(yields)] = defaults[static_cast<size_t>(yields)];
        fromFile[static_cast<size_t>(yields)] = false;
    }
}

float ReadSeconds(const std::string& key, float fallback, SecondsRange range,
                  const std::function<std::string(const std::string&)>& value,
                  std::vector<std::string>& problems) {
    const std::string text = value(key);
    if (text.empty()) return fallback;
    float seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || !std::isfinite(seconds)) {
        problems.push_back("[CONTROLS] " + key + "=" + text + " is not a number of seconds; " +
                           SecondsText(fallback) + " is used");
        return fallback;
    }
    const float kept = std::clamp(seconds, range.low, range.high);
    if (kept != seconds)
        problems.push_back("[CONTROLS] " + key + "=" + text + " lies outside " + SecondsText(range.low) +
                           " to " + SecondsText(range.high) + " seconds; " + SecondsText(kept) + " is used");
    return kept;
}

// A timing moved by whole milliseconds within its range; the game's own value comes back exactly.
float StepMilliseconds(float seconds, int stepMs, SecondsRange range, float gameValue) {
    const long low = std::lround(range.low * 1000), high = std::lround(range.high * 1000);
    const long ms = std::clamp(std::lround(seconds * 1000) + stepMs, low, high);
    return ms == std::lround(gameValue * 1000) ? gameValue : static_cast<float>(ms) / 1000.0f;
}

}  // namespace

ControlSettings DefaultControls() {
    ControlSettings controls;
    controls.keys = {VK_LEFT, VK_RIGHT, VK_DOWN, VK_UP, VK_SPACE, VK_ESCAPE};
    controls.buttons = {PAD_DPLEFT, PAD_DPRIGHT, PAD_DPDOWN, PAD_A, PAD_B, PAD_START};
    return controls;
}

bool KeyDoes(const ControlSettings& controls, GameAction action, int key) {
    if (controls.keys[Index(action)] == key) return true;
    for (int second : SecondKeys(action))
        if (second == key && !Taken(controls.keys, key)) return true;
    return false;
}

bool ButtonDoes(const ControlSettings& controls, GameAction action, int button) {
    if (controls.buttons[Index(action)] == button) return true;
    return action == GameAction::Turn && button == PAD_DPUP && !Taken(controls.buttons, button);
}

int BindKey(ControlSettings& controls, GameAction action, int key) {
    return Bind(controls.keys, Index(action), key);
}

int BindButton(ControlSettings& controls, GameAction action, int button) {
    return Bind(controls.buttons, Index(action), button);
}

ControlSettings ReadControls(const std::function<std::string(const std::string& key)>& value,
                             std::vector<std::string>& problems) {
    ControlSettings controls = DefaultControls();
    ReadBindings(controls.keys, DefaultControls().keys, value, problems, false);
    ReadBindings(controls.buttons, DefaultControls().buttons, value, problems, true);
    controls.repeatDelay = ReadSeconds("RepeatDelay", DefaultRepeatDelay, RepeatDelayRange, value, problems);
    controls.repeatInterval =
        ReadSeconds("RepeatInterval", DefaultRepeatInterval, RepeatIntervalRange, value, problems);
    return controls;
}

float StepRepeatDelay(float delay, int direction) {
    return StepMilliseconds(delay, direction * 25, RepeatDelayRange, DefaultRepeatDelay);
}

float StepRepeatInterval(float interval, int direction) {
    return StepMilliseconds(interval, direction * 5, RepeatIntervalRange, DefaultRepeatInterval);
}

std::string SecondsText(float seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(seconds));
    return text;
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
