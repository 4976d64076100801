#include "persist/config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "base/clock.h"
#include "persist/log.h"
#include "temp_dir.h"

namespace {

class ConfigTest : public TempDirTest {};

TEST_F(ConfigTest, StringsFollowTheCurrentDirectory) {
    std::string value = "stale";
    EXPECT_FALSE(ReadConfigString("LANGUAGE", "Name", value));
    EXPECT_EQ(value, "");
    ASSERT_TRUE(WriteConfigString("LANGUAGE", "Name", "ENGLISH"));
    EXPECT_TRUE(ReadConfigString("language", "name", value));
    EXPECT_EQ(value, "ENGLISH");

    // Another directory has its own config.ini.
    std::filesystem::create_directory("other");
    std::filesystem::current_path("other");
    EXPECT_FALSE(ReadConfigString("LANGUAGE", "Name", value));
    ASSERT_TRUE(WriteConfigString("OPTIONS", "btnSound", "1"));
    std::filesystem::current_path(dir);
    EXPECT_TRUE(Exists("other/config.ini"));
    EXPECT_FALSE(ReadConfigString("OPTIONS", "btnSound", value));
}

TEST_F(ConfigTest, EmptyValueCountsAsMissing) {
    WriteFile("config.ini", "[LANGUAGE]\r\nName=\r\n[OPTIONS]\r\nbtnSound=0\r\n");
    std::string value;
    EXPECT_FALSE(ReadConfigString("LANGUAGE", "Name", value));
    ASSERT_TRUE(WriteConfigString("LANGUAGE", "Name", "ENGLISH"));
    EXPECT_EQ(ReadFile("config.ini"), "[LANGUAGE]\r\nName=ENGLISH\r\n[OPTIONS]\r\nbtnSound=0\r\n");
}

TEST_F(ConfigTest, StartUpLanguageDefaultsToEnglishAndIsWrittenBack) {
    WriteFile("config.ini", "[OPTIONS]\r\nbtnSound=1\r\n");
    EXPECT_EQ(LoadLanguageName(), "ENGLISH");
    EXPECT_EQ(LanguageName(), "ENGLISH");
    EXPECT_EQ(ReadFile("config.ini"), "[OPTIONS]\r\nbtnSound=1\r\n\r\n[LANGUAGE]\r\nName=ENGLISH\r\n");

    WriteFile("config.ini", "[language]\r\nname = \"DEUTSCH\"\r\n");
    EXPECT_EQ(LoadLanguageName(), "DEUTSCH");
    EXPECT_EQ(ReadFile("config.ini"), "[language]\r\nname = \"DEUTSCH\"\r\n");  // nothing written

    WriteFile("config.ini", "[LANGUAGE]\r\nName=   \r\n");  // blank counts as missing
    EXPECT_EQ(LoadLanguageName(), "ENGLISH");
    EXPECT_EQ(ReadFile("config.ini"), "[LANGUAGE]\r\nName=ENGLISH\r\n");
}

TEST_F(ConfigTest, NumbersConvertLikeTheCLibrary) {
    WriteFile("config.ini",
              "[OPTIONS]\r\n"
              "style=4.9\r\nneg=-4.9\r\nword=abc\r\nsuffix=3abc\r\nblank=   7\r\nexp=1.5e2\r\n"
              "slider=0.250000\r\nhuge=1e999\r\nnan=nan\r\nbigint=3e10\r\nempty=\r\n");
    int i = -1;
    float f = -1;
    EXPECT_TRUE(ReadConfigInt("OPTIONS", "style", i));
    EXPECT_EQ(i, 4);
    EXPECT_TRUE(ReadConfigInt("OPTIONS", "neg", i));
    EXPECT_EQ(i, -4);
    EXPECT_TRUE(ReadConfigInt("OPTIONS", "word", i));
    EXPECT_EQ(i, 0);
    EXPECT_TRUE(ReadConfigInt("OPTIONS", "suffix", i));
    EXPECT_EQ(i, 3);
    EXPECT_TRUE(ReadConfigInt("OPTIONS", "blank", i));
    EXPECT_EQ(i, 7);
    EXPECT_TRUE(ReadConfigInt("OPTIONS", "exp", i));
    EXPECT_EQ(i, 150);
    EXPECT_TRUE(ReadConfigFloat("OPTIONS", "slider", f));
    EXPECT_FLOAT_EQ(f, 0.25f);
    EXPECT_TRUE(ReadConfigFloat("OPTIONS", "suffix", f));
    EXPECT_FLOAT_EQ(f, 3.0f);
    // Missing, empty and non-finite values leave the caller's default alone.
    f = 0.75f;
    i = 2;
    EXPECT_FALSE(ReadConfigFloat("OPTIONS", "missing", f));
    EXPECT_FALSE(ReadConfigFloat("OPTIONS", "empty", f));
    EXPECT_FALSE(ReadConfigFloat("OPTIONS", "huge", f));
    EXPECT_FALSE(ReadConfigFloat("OPTIONS", "nan", f));
    EXPECT_FALSE(ReadConfigInt("OPTIONS", "bigint", i));
    EXPECT_FALSE(ReadConfigInt("OPTIONS", "nan", i));
    EXPECT_FLOAT_EQ(f, 0.75f);
    EXPECT_EQ(i, 2);
}

TEST_F(ConfigTest, StructureEncodingAndRejections) {
    const unsigned char bytes[] = {0x00, 0x7F, 0xAB, 0xFF};
    // Upper-case hex in memory order, then the byte sum modulo 256 (0x229 -> 29).
    EXPECT_EQ(EncodeStructure(bytes, sizeof bytes), "007FABFF29");
    EXPECT_EQ(EncodeStructure(nullptr, 0), "00");

    unsigned char out[4] = {1, 2, 3, 4};
    const unsigned char untouched[4] = {1, 2, 3, 4};
    EXPECT_FALSE(DecodeStructure("007FABFF28", out, 4));  // checksum
    EXPECT_FALSE(DecodeStructure("007FABFF2", out, 4));   // length
    EXPECT_FALSE(DecodeStructure("007FABFF2900", out, 4));
    EXPECT_FALSE(DecodeStructure("007FABFG29", out, 4));  // not a hex digit
    EXPECT_FALSE(DecodeStructure("007FABFF29", out, 3));
    EXPECT_EQ(std::memcmp(out, untouched, 4), 0);
    EXPECT_TRUE(DecodeStructure("007fabff29", out, 4));
    EXPECT_EQ(std::memcmp(out, bytes, 4), 0);
}

TEST_F(ConfigTest, StructureRoundTripThroughTheFile) {
    std::string block(3600, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + 3);
    ASSERT_TRUE(WriteStructure("HIGH SCORES", "Data", block.data(), block.size(), "scores.ini"));
    const std::string file = ReadFile("scores.ini");
    EXPECT_TRUE(file.starts_with("[HIGH SCORES]\r\nData="));
    EXPECT_EQ(file.size(), std::string("[HIGH SCORES]\r\nData=\r\n").size() + 7202);

    std::string back(3600, 'x');
    ASSERT_TRUE(ReadStructure("high scores", "DATA", back.data(), back.size(), "scores.ini"));
    EXPECT_EQ(back, block);
    // The same value read as a smaller or larger block is rejected, not cut or padded.
    std::string other(3599, 'x');
    EXPECT_FALSE(ReadStructure("HIGH SCORES", "Data", other.data(), other.size(), "scores.ini"));
    other.assign(3601, 'x');
    EXPECT_FALSE(ReadStructure("HIGH SCORES", "Data", other.data(), other.size(), "scores.ini"));
    EXPECT_FALSE(ReadStructure("HIGH SCORES", "Other", back.data(), back.size(), "scores.ini"));
}

TEST_F(ConfigTest, TranslateLooksUpTheLanguageSection) {
    WriteFile(
        "language.ini",
        "[ENGLISH]\r\nGame Over=Game Over!\r\nLevel Up=levelup.png\r\n[DEUTSCH]\r\nGame Over=Spiel aus\r\n"
        "[]\r\nGame Over=nameless\r\n");
    SetLanguageName("ENGLISH");
    EXPECT_EQ(Translate("Game Over"), "Game Over!");
    EXPECT_EQ(Translate("game over"), "Game Over!");
    EXPECT_EQ(Translate("Level Up"), "levelup.png");
    EXPECT_EQ(Translate("Score"), "");
    SetLanguageName("Deutsch");
    EXPECT_EQ(Translate("Game Over"), "Spiel aus");
    EXPECT_FALSE(Exists("app.log"));

    // With no language every lookup is logged and goes on in the empty section.
    SetVirtualTickCount(0);
    SetLanguageName("");
    EXPECT_EQ(Translate("Game Over"), "nameless");
    EXPECT_EQ(Translate("Score"), "");
    EXPECT_EQ(ReadFile("app.log"),
              "00:00:00 : Warning: language not defined in 'config.ini'\r\n"
              "00:00:00 : Warning: language not defined in 'config.ini'\r\n");
    std::filesystem::remove("language.ini");
    SetLanguageName("ENGLISH");
    EXPECT_EQ(Translate("Game Over"), "");
}

}  // namespace

TEST(LanguageChoice, TheEnvironmentAsksAsGettextReadsIt) {
    const std::vector<LanguageInfo> languages = {
        {"ENGLISH", "English", "en"}, {"GERMAN", "Deutsch", "de"}, {"FRENCH", "Français", "FR"}};
    const struct {
        std::map<std::string, std::string> environment;
        const char* chosen;
    } cases[] = {
        {{}, "ENGLISH"},
        {{{"LANG", "de_DE.UTF-8"}}, "GERMAN"},
        {{{"LANG", "fr_CA"}}, "FRENCH"},                                  // codes compare in any case
        {{{"LANG", "de"}}, "GERMAN"},                                     // a bare language code
        {{{"LANG", "de_AT.UTF-8@euro"}}, "GERMAN"},                       //
        {{{"LANG", "it_IT.UTF-8"}}, "ENGLISH"},                           // a language the file lacks
        {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR"}}, "FRENCH"},  // LC_MESSAGES before LANG
        {{{"LC_MESSAGES", "fr_FR"}, {"LC_ALL", "de_CH"}}, "GERMAN"},      // LC_ALL before both
        {{{"LANG", "en_GB.UTF-8"}, {"LANGUAGE", "it:de:en"}}, "GERMAN"},  // LANGUAGE's list comes first
        {{{"LANGUAGE", "de"}}, "ENGLISH"},                                // ... but not for the C locale
        {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}}, "ENGLISH"},
        {{{"LC_ALL", "POSIX"}, {"LANG", "de_DE"}}, "ENGLISH"},
        {{{"LANG", "_DE"}}, "ENGLISH"},  // no language in it
    };
    for (const auto& c : cases) {
        auto lookup = [&](const char* name) -> const char* {
            const auto found = c.environment.find(name);
            return found == c.environment.end() ? nullptr : found->second.c_str();
        };
        std::string shown;
        for (const auto& [name, value] : c.environment) shown += name + "=" + value + " ";
        EXPECT_EQ(LanguageFromEnvironment(lookup, languages), c.chosen) << shown;
    }
}

TEST_F(ConfigTest, AFirstStartTakesTheLanguageTheEnvironmentAsksFor) {
    WriteFile("language.ini",
              "[ENGLISH]\r\nLanguageName=English\r\nLanguageCode=en\r\n[GERMAN]\r\nLanguageName=Deutsch\r\n"
              "LanguageCode=de\r\n[english]\r\nLanguageCode=xx\r\n[NOCODE]\r\n");
    const std::vector<LanguageInfo> languages = AvailableLanguages();
    ASSERT_EQ(languages.size(), 3u);  // a repeated section counts once, by its first spelling
    EXPECT_EQ(languages[0].section, "ENGLISH");
    EXPECT_EQ(languages[1].ownName, "Deutsch");
    EXPECT_EQ(languages[1].code, "de");
    EXPECT_EQ(languages[2].section, "NOCODE");
    EXPECT_EQ(languages[2].code, "");

    const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::map<std::string, std::string> saved;
    for (const char* name : names)
        if (const char* value = std::getenv(name)) saved[name] = value;
    for (const char* name : names) unsetenv(name);
    setenv("LANG", "de_DE.UTF-8", 1);
    WriteFile("config.ini", "[OPTIONS]\r\nbtnSound=1\r\n");
    EXPECT_EQ(LoadLanguageName(), "GERMAN");
    std::string stored;
    ReadConfigString("LANGUAGE", "Name", stored);
    EXPECT_EQ(stored, "GERMAN");
    // A stored choice wins over the environment.
    setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(LoadLanguageName(), "GERMAN");
    for (const char* name : names) unsetenv(name);
    for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
}
