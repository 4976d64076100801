// The player's controls: what config.ini [CONTROLS] gives (and what it cannot), the key map's second
// keys beside a rebound key, and the repeat timing's steps. Rebinding is tried on the controls screen
// (app_state_test).
#include "app/controls.h"

#include <gtest/gtest.h>

#include <map>

namespace {

ControlSettings Read(const std::map<std::string, std::string>& file, std::vector<std::string>& problems) {
    return ReadControls(
        [&](const std::string& key) {
            const auto found = file.find(key);
            return found == file.end() ? std::string() : found->second;
        },
        problems);
}

}  // namespace

TEST(Controls, ConfigIniGivesKeysButtonsAndTimingsAndBadValuesKeepTheirDefaults) {
    const ControlSettings d = DefaultControls();
    const struct {
        const char* what;
        std::map<std::string, std::string> file;
        std::array<int, GameActionCount> keys;
        std::array<int, GameActionCount> buttons;
        float delay, interval;
        size_t problems;
    } cases[] = {
        {"nothing stored", {}, d.keys, d.buttons, DefaultRepeatDelay, DefaultRepeatInterval, 0},
        {"SDL's names, any case",
         {{"Left", "a"},
          {"Turn", "Keypad 5"},
          {"Pause", "return"},
          {"PadDrop", "X"},
          {"PadLeft", "leftshoulder"}},
         {'A', VK_RIGHT, VK_DOWN, VK_NUMPAD5, VK_SPACE, VK_RETURN},
         {PAD_LEFTSHOULDER, PAD_DPRIGHT, PAD_DPDOWN, PAD_A, PAD_X, PAD_START},
         DefaultRepeatDelay,
         DefaultRepeatInterval,
         0},
        {"names of no key or button",
         {{"Left", "Lefty"}, {"Drop", "0x20"}, {"PadTurn", "select"}, {"Right", std::string(300, 'x')}},
         d.keys,
         d.buttons,
         DefaultRepeatDelay,
         DefaultRepeatInterval,
         4},
        {"two actions on one key: the one read from the file gives way",
         {{"Left", "Right"}, {"Drop", "Q"}, {"Pause", "Q"}, {"PadTurn", "b"}},
         {VK_LEFT, VK_RIGHT, VK_DOWN, VK_UP, 'Q', VK_ESCAPE},
         d.buttons,
         DefaultRepeatDelay,
         DefaultRepeatInterval,
         3},
        {"a swap in the file is no conflict",
         {{"Left", "Right"}, {"Right", "Left"}},
         {VK_RIGHT, VK_LEFT, VK_DOWN, VK_UP, VK_SPACE, VK_ESCAPE},
         d.buttons,
         DefaultRepeatDelay,
         DefaultRepeatInterval,
         0},
        {"timings as given",
         {{"RepeatDelay", "0.5"}, {"RepeatInterval", "0.1s"}},
         d.keys,
         d.buttons,
         0.5f,
         0.1f,
         0},
        {"timings out of range are brought into it",
         {{"RepeatDelay", "1e9"}, {"RepeatInterval", "-3"}},
         d.keys,
         d.buttons,
         RepeatDelayRange.high,
         RepeatIntervalRange.low,
         2},
        {"timings that are no numbers",
         {{"RepeatDelay", "nan"}, {"RepeatInterval", "soon"}},
         d.keys,
         d.buttons,
         DefaultRepeatDelay,
         DefaultRepeatInterval,
         2},
    };
    for (const auto& c : cases) {
        std::vector<std::string> problems;
        const ControlSettings read = Read(c.file, problems);
        EXPECT_EQ(read.keys, c.keys) << c.what;
        EXPECT_EQ(read.buttons, c.buttons) << c.what;
        EXPECT_FLOAT_EQ(read.repeatDelay, c.delay) << c.what;
        EXPECT_FLOAT_EQ(read.repeatInterval, c.interval) << c.what;
        EXPECT_EQ(problems.size(), c.problems) << c.what;
        for (const std::string& problem : problems) EXPECT_EQ(problem.rfind("[CONTROLS] ", 0), 0u) << problem;
    }
}

TEST(Controls, TheKeyMapsSecondKeysWorkBesideAReboundKeyUnlessTaken) {
    ControlSettings controls = DefaultControls();
    EXPECT_EQ(BindKey(controls, GameAction::Turn, 'W'), -1);
    EXPECT_EQ(BindKey(controls, GameAction::Left, 'P'), -1);  // P no longer pauses: it moves left now
    const struct {
        GameAction action;
        int key;
        bool does;
    } cases[] = {
        {GameAction::Turn, 'W', true},         {GameAction::Turn, VK_UP, false},
        {GameAction::Turn, VK_CLEAR, true},    {GameAction::Turn, VK_NUMPAD5, true},
        {GameAction::Drop, VK_SPACE, true},    {GameAction::Drop, VK_RETURN, true},
        {GameAction::Pause, VK_ESCAPE, true},  {GameAction::Pause, VK_BACK, true},
        {GameAction::Pause, VK_PAUSE, true},   {GameAction::Pause, 'P', false},
        {GameAction::Left, 'P', true},         {GameAction::Left, VK_LEFT, false},
        {GameAction::Right, VK_RETURN, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeyDoes(controls, c.action, c.key), c.does) << static_cast<int>(c.action) << " " << c.key;
    EXPECT_TRUE(ButtonDoes(controls, GameAction::Turn, PAD_DPUP));
    EXPECT_EQ(BindButton(controls, GameAction::Drop, PAD_A), static_cast<int>(GameAction::Turn));  // a swap
    EXPECT_EQ(controls.buttons[static_cast<int>(GameAction::Turn)], PAD_B);
    BindButton(controls, GameAction::Drop, PAD_DPUP);
    EXPECT_FALSE(ButtonDoes(controls, GameAction::Turn, PAD_DPUP));
    EXPECT_TRUE(ButtonDoes(controls, GameAction::Drop, PAD_DPUP));
}

TEST(Controls, RepeatTimingsStepWithinTheirRangesAndComeBackToTheGamesOwn) {
    float delay = DefaultRepeatDelay;
    delay = StepRepeatDelay(delay, 1);
    EXPECT_FLOAT_EQ(delay, 0.25f);
    delay = StepRepeatDelay(delay, -1);
    EXPECT_EQ(delay, DefaultRepeatDelay);  // exactly the default again, not a float near it
    for (int i = 0; i < 40; ++i) delay = StepRepeatDelay(delay, -1);
    EXPECT_FLOAT_EQ(delay, RepeatDelayRange.low);
    for (int i = 0; i < 40; ++i) delay = StepRepeatDelay(delay, 1);
    EXPECT_FLOAT_EQ(delay, RepeatDelayRange.high);
    float interval = StepRepeatInterval(DefaultRepeatInterval, -1);
    EXPECT_FLOAT_EQ(interval, 0.02f);
    EXPECT_EQ(StepRepeatInterval(interval, 1), DefaultRepeatInterval);
    for (int i = 0; i < 60; ++i) interval = StepRepeatInterval(interval, 1);
    EXPECT_FLOAT_EQ(interval, RepeatIntervalRange.high);
    EXPECT_EQ(SecondsText(DefaultRepeatDelay), "0.225");
}
