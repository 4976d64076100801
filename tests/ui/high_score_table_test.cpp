// The high-score screen's table: ranking a new score, typing its name, drawing the rows.
#include "ui/high_score_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "../persist/temp_dir.h"
#include "base/clock.h"
#include "base/messages.h"
#include "persist/config.h"

namespace {

struct DrawnText {
    float x, y, size;
    uint32_t colour;
    int flags;
    std::string text;
    bool name = false;  // drawn as a player's name, letter by letter
};

class RecordingHost : public HighScoreHost {
public:
    void DrawText(float x, float y, float size, uint32_t colour, int flags,
                  const std::string& text) override {
        drawn.push_back({x, y, size, colour, flags, text});
    }
    void DrawName(float x, float y, float size, uint32_t colour, const std::string& name) override {
        drawn.push_back({x, y, size, colour, 0, name, true});
    }
    void PlaySoundEvent(const std::string& name) override { sounds.push_back(name); }
    std::vector<DrawnText> drawn;
    std::vector<std::string> sounds;
};

class HighScoreTest : public TempDirTest {
protected:
    void Type(const std::string& text) {
        for (unsigned char c : text) table.HandleNameKey(WM_CHAR, c);
    }
    void Key(int virtualKey) { table.HandleNameKey(WM_KEYDOWN, static_cast<uint64_t>(virtualKey)); }
    std::string Name(int row) const { return table.Entry(table.CurrentTable(), row).name; }
    uint32_t Score(int row) const { return table.Entry(table.CurrentTable(), row).score; }
    void Fill(std::initializer_list<uint32_t> scores) {
        for (uint32_t s : scores) {
            ASSERT_TRUE(table.OfferScore(s));
            Type("p" + std::to_string(s));
            table.EndNameEntry();
        }
    }

    RecordingHost host;
    HighScoreStore store;
    HighScoreTable table{store, &host};
};

TEST_F(HighScoreTest, InsertionRanksAndTies) {
    table.SelectTable(3);
    EXPECT_FALSE(table.OfferScore(0));  // an empty table takes no zero score
    EXPECT_FALSE(table.EntryActive());
    EXPECT_TRUE(table.OfferScore(1));
    EXPECT_EQ(table.EditRow(), 0);
    EXPECT_TRUE(table.EntryActive());
    table.EndNameEntry();

    table.SelectTable(4);
    Fill({900, 800, 700, 600, 500});
    ASSERT_TRUE(table.OfferScore(600));  // equal to row 3 goes below it
    EXPECT_EQ(table.EditRow(), 4);
    EXPECT_EQ(Name(3), "p600");
    EXPECT_EQ(Name(4), "");
    EXPECT_EQ(Score(4), 600u);
    EXPECT_EQ(Name(5), "p500");
    table.EndNameEntry();

    Fill({400, 300, 200, 100});
    ASSERT_EQ(Score(9), 100u);
    EXPECT_FALSE(table.OfferScore(100));         // equal to the last row stays out
    EXPECT_TRUE(table.OfferScore(4000000000u));  // unsigned: a large score is the best, not negative
    EXPECT_EQ(table.EditRow(), 0);
    EXPECT_EQ(Score(9), 200u);               // the old last row is gone
    EXPECT_EQ(table.Entry(3, 0).score, 1u);  // other tables untouched

    table.SelectTable(10);
    table.SelectTable(-1);
    EXPECT_EQ(table.CurrentTable(), 4);
}

TEST_F(HighScoreTest, NameEntryKeys) {
    ASSERT_TRUE(table.OfferScore(50));
    Key(VK_RETURN);  // nothing to save yet
    Key(VK_BACK);
    EXPECT_TRUE(table.EntryActive());
    EXPECT_TRUE(host.sounds.empty());

    Type("ABCDEFGHIJKLMNOPQ");  // 17 characters
    EXPECT_EQ(Name(0), "ABCDEFGHIJKLMNOP");
    // Every letter that enters the name clicks like the other name keys; the 17th does not enter.
    EXPECT_EQ(host.sounds, std::vector<std::string>(16, "type_01"));
    host.sounds.clear();
    Key(VK_BACK);
    EXPECT_EQ(Name(0), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(host.sounds, std::vector<std::string>{"type_01"});
    Key(VK_LEFT);  // other keys do nothing
    table.HandleNameKey(WM_KEYUP, VK_BACK);
    EXPECT_EQ(Name(0), "ABCDEFGHIJKLMNO");

    // Only the low byte of wParam counts.
    table.HandleNameKey(WM_CHAR, 0x1234'0000'0000'0000ull | 'Z');
    EXPECT_EQ(Name(0), "ABCDEFGHIJKLMNOZ");

    Key(VK_RETURN);
    EXPECT_FALSE(table.EntryActive());
    EXPECT_EQ(host.sounds.size(), 3u);
    HighScoreStore reread;
    ASSERT_TRUE(reread.Load());
    EXPECT_STREQ(reread.Entry(0, 0).name, "ABCDEFGHIJKLMNOZ");
    EXPECT_EQ(reread.Entry(0, 0).score, 50u);

    // Once entry is over, keys reach nothing.
    Type("x");
    Key(VK_BACK);
    EXPECT_EQ(Name(0), "ABCDEFGHIJKLMNOZ");
}

TEST_F(HighScoreTest, ControlCharactersNeverEnterTheName) {
    ASSERT_TRUE(table.OfferScore(10));
    // Enter, Tab, Backspace, Escape and Delete arrive as character messages beside their key messages.
    for (unsigned c : {0x0Du, 0x09u, 0x08u, 0x1Bu, 0x7Fu, 0x01u}) table.HandleNameKey(WM_CHAR, c);
    EXPECT_EQ(Name(0), "");
    Key(VK_RETURN);
    EXPECT_TRUE(table.EntryActive()) << "an empty name must keep the entry open";
    Type(" a\xE9");  // blank and code-page letters are characters the font may show
    EXPECT_EQ(Name(0), " a\xE9");
}

TEST_F(HighScoreTest, EscapeRestoresTheStoredTablesExactly) {
    table.SelectTable(1);
    Fill({300, 200});
    ASSERT_TRUE(store.Save());
    const std::string stored = store.EncodeBlock();

    table.SelectTable(5);
    Fill({70});  // unsaved, ended by a menu command
    table.SelectTable(1);
    ASSERT_TRUE(table.OfferScore(250));
    Type("new");
    host.sounds.clear();
    Key(VK_ESCAPE);
    EXPECT_FALSE(table.EntryActive());
    EXPECT_EQ(host.sounds, std::vector<std::string>{"type_01"});
    EXPECT_EQ(store.EncodeBlock(), stored);
    EXPECT_EQ(table.Entry(5, 0).score, 0u);
}

TEST_F(HighScoreTest, DrawRowsPlacesColoursAndBlinksTheCursor) {
    table.SelectTable(3);
    Fill({500, 300});
    ASSERT_TRUE(table.OfferScore(400));
    Type("Bo");

    SetVirtualTickCount(1000);  // trunc(2 * 1.0) = 2: even, cursor shown
    table.DrawRows(0.28f, 0.032f, 0.29f, 0.33f, 0.65f);
    ASSERT_EQ(host.drawn.size(), 30u);
    for (int r = 0; r < 10; ++r) {
        const float y = 0.28f + static_cast<float>(r + 1) * 0.032f * 1.25f;
        const uint32_t colour = r == 1 ? HighScoreEditColour : HighScoreRowColour;
        for (int column = 0; column < 3; ++column) {
            const DrawnText& d = host.drawn[static_cast<size_t>(r * 3 + column)];
            EXPECT_FLOAT_EQ(d.y, y);
            EXPECT_FLOAT_EQ(d.size, 0.032f);
            EXPECT_EQ(d.colour, colour) << "row " << r;
            EXPECT_EQ(d.flags, 0);
            EXPECT_EQ(d.name, column == 1) << "row " << r << " column " << column;
        }
        EXPECT_FLOAT_EQ(host.drawn[static_cast<size_t>(r * 3)].x, 0.29f);
        EXPECT_FLOAT_EQ(host.drawn[static_cast<size_t>(r * 3 + 1)].x, 0.33f);
        EXPECT_FLOAT_EQ(host.drawn[static_cast<size_t>(r * 3 + 2)].x, 0.65f);
        EXPECT_EQ(host.drawn[static_cast<size_t>(r * 3)].text, std::to_string(r + 1));
    }
    EXPECT_EQ(host.drawn[1].text, "p500");
    EXPECT_EQ(host.drawn[4].text, "Bo_");
    EXPECT_EQ(host.drawn[5].text, "400");
    EXPECT_EQ(host.drawn[29].text, "0");

    host.drawn.clear();
    SetVirtualTickCount(1499);  // trunc(2.998) = 2: still shown
    table.DrawRows(0.28f, 0.032f, 0.29f, 0.33f, 0.65f);
    EXPECT_EQ(host.drawn[4].text, "Bo_");
    host.drawn.clear();
    SetVirtualTickCount(1500);  // 3: odd, a blank
    table.DrawRows(0.28f, 0.032f, 0.29f, 0.33f, 0.65f);
    EXPECT_EQ(host.drawn[4].text, "Bo ");

    host.drawn.clear();
    table.EndNameEntry();
    table.DrawRows(0.28f, 0.032f, 0.29f, 0.33f, 0.65f);
    EXPECT_EQ(host.drawn[4].text, "Bo");
    EXPECT_EQ(host.drawn[4].colour, HighScoreRowColour);
}

TEST_F(HighScoreTest, APadSpellsTheNameLetterByLetter) {
    ASSERT_TRUE(table.OfferScore(70));
    const struct {
        int button;
        const char* name;
    } presses[] = {
        {PAD_A, ""},  // nothing to save yet
        {PAD_DPUP, "A"},     {PAD_DPUP, "B"},     {PAD_DPDOWN, "A"}, {PAD_DPDOWN, " "},
        {PAD_DPDOWN, "9"},   {PAD_DPRIGHT, "9A"}, {PAD_DPUP, "9B"},  {PAD_DPLEFT, "9"},
        {PAD_DPRIGHT, "9A"}, {PAD_B, "9"},        {PAD_X, "9"},      {PAD_DPRIGHT, "9A"},
    };
    for (const auto& press : presses) {
        table.HandleNameKey(WM_PADBUTTONDOWN, static_cast<uint64_t>(press.button));
        EXPECT_EQ(Name(0), press.name) << press.button;
    }
    EXPECT_EQ(host.sounds.size(), std::size(presses) - 2);  // A with no name and X make no sound
    for (int i = 0; i < 20; ++i) table.HandleNameKey(WM_PADBUTTONDOWN, PAD_DPRIGHT);
    EXPECT_EQ(strlen(table.Entry(0, 0).name), HighScoreNameMax);
    table.HandleNameKey(WM_PADBUTTONDOWN, PAD_START);
    EXPECT_FALSE(table.EntryActive());
    HighScoreStore reread;
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(std::string(reread.Entry(0, 0).name).substr(0, 3), "9AA");
}

TEST(GameTypeTitleTest, EveryGameHasATitleAndTheSpareTablesNone) {
    const std::pair<int, const char*> titles[] = {{0, "Classic Game without Bonuses"},
                                                  {1, "Classic Game"},
                                                  {2, "Color Blocks without Bonuses"},
                                                  {3, "Color Blocks"},
                                                  {4, "Rotated Color Blocks without Bonuses"},
                                                  {5, "Rotated Color Blocks"},
                                                  {-1, ""},
                                                  {6, ""},
                                                  {9, ""},
                                                  {10, ""}};
    for (auto [index, title] : titles) EXPECT_EQ(GameTypeTitle(index), title) << index;
}

}  // namespace
