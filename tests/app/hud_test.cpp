#include "app/hud.h"

#include <gtest/gtest.h>

TEST(Hud, PlayTimeShowsMinutesAndTwoDigitSeconds) {
    EXPECT_EQ(FormatPlayTime(0), "0:00");
    EXPECT_EQ(FormatPlayTime(9), "0:09");
    EXPECT_EQ(FormatPlayTime(59), "0:59");
    EXPECT_EQ(FormatPlayTime(60), "1:00");
    EXPECT_EQ(FormatPlayTime(65), "1:05");
    EXPECT_EQ(FormatPlayTime(600), "10:00");
    EXPECT_EQ(FormatPlayTime(3725), "62:05");  // minutes go past 59
}

TEST(Hud, LevelUpCaptionGrowsShrinksAndRests) {
    EXPECT_FLOAT_EQ(LevelUpCaptionSize(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(LevelUpCaptionSize(0.25f), 0.15f);
    EXPECT_FLOAT_EQ(LevelUpCaptionSize(0.5f), 0.3f);
    EXPECT_NEAR(LevelUpCaptionSize(0.625f), 0.25f, 1e-6);
    EXPECT_NEAR(LevelUpCaptionSize(0.75f), 0.2f, 1e-6);
    EXPECT_FLOAT_EQ(LevelUpCaptionSize(0.9f), 0.2f);
}

TEST(Hud, GameOverCaptionGrowsForOneSecondThenSettles) {
    EXPECT_FLOAT_EQ(GameOverCaptionSize(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(GameOverCaptionSize(0.5f), 0.15f);
    EXPECT_FLOAT_EQ(GameOverCaptionSize(1.0f), 0.3f);
    EXPECT_NEAR(GameOverCaptionSize(1.25f), 0.25f, 1e-6);
    EXPECT_NEAR(GameOverCaptionSize(1.5f), 0.2f, 1e-6);
    EXPECT_FLOAT_EQ(GameOverCaptionSize(2.4f), 0.2f);
}
