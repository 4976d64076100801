// A click that changes the state is handed, in the same message, to the screen of the new state. So a
// button that leads to another screen must not lie over any button of that screen, or one click would
// press both (entering the options would also flip a check box).
#include <gtest/gtest.h>

#include <filesystem>

#include "persist/log.h"
#include "ui/screen.h"

namespace {

struct Box {
    float left, top, right, bottom;
};

Box BoxOf(const ScreenButton& button) {
    return {button.xc - button.width / 2, button.yc - button.height / 2, button.xc + button.width / 2,
            button.yc + button.height / 2};
}

bool Overlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

Screen Load(const std::string& file) {
    Screen screen;
    EXPECT_EQ(screen.LoadFromXml(std::string(KELVANE_SOURCE_DIR_DEFAULT) + "/data/" + file), 1) << file;
    return screen;
}

}  // namespace

TEST(ScreenLayout, ButtonsThatChangeTheScreenDoNotCoverButtonsOfTheNextScreen) {
    ResetLogState();
    const struct {
        const char* from;
        const char* action;
        const char* to;
    } passes[] = {
        {"menu-main.xml", "procOptions", "menu-options.xml"},
        {"menu-main.xml", "procHighScores", "menu-highscores.xml"},
        {"menu-selectgame.xml", "procStart1", "menu-ingame.xml"},
        {"menu-selectgame.xml", "procStart2", "menu-ingame.xml"},
        {"menu-selectgame.xml", "procStart3", "menu-ingame.xml"},
        {"menu-selectgame.xml", "procStart4", "menu-ingame.xml"},
        {"menu-selectgame.xml", "procStart5", "menu-ingame.xml"},
        {"menu-selectgame.xml", "procStart6", "menu-ingame.xml"},
    };
    for (const auto& pass : passes) {
        const Screen from = Load(pass.from);
        const Screen to = Load(pass.to);
        int found = 0;
        for (const ScreenButton& button : from.Buttons()) {
            if (button.action != pass.action) continue;
            ++found;
            for (const ScreenButton& next : to.Buttons())
                EXPECT_FALSE(Overlap(BoxOf(button), BoxOf(next)))
                    << pass.action << " on " << pass.from << " lies over " << next.name << " on " << pass.to;
        }
        EXPECT_EQ(found, 1) << pass.action << " on " << pass.from;
    }
}
