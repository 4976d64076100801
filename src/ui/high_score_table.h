// The high-score screen's table: which of the ten tables is shown, the name entry of a score that has
// just ranked, and the drawing of the rows. The rows themselves live in the store (persist/highscores.h);
// drawing and sounds go through a host the shell supplies, so this module needs neither the font nor
// the audio.
#pragma once

#include <cstdint>
#include <string>

#include "persist/highscores.h"

constexpr uint32_t HighScoreEditColour = 0xFFFF5555;
constexpr uint32_t HighScoreRowColour = 0xFFFFFFFF;

// What the table needs of the shell.
class HighScoreHost {
public:
    virtual ~HighScoreHost() = default;
    virtual void DrawText(float x, float y, float size, uint32_t colour, int flags,
                          const std::string& text) = 0;
    // A player's name, letter by letter as typed: never translated, never taken for a picture's name.
    virtual void DrawName(float x, float y, float size, uint32_t colour, const std::string& name) = 0;
    virtual void PlaySoundEvent(const std::string& name) = 0;
};

// The title shown above a table: the game's name, for tables 0, 2 and 4 with "without Bonuses"
// ("Classic Game", "Classic Game without Bonuses", ...); "" for tables 6 to 9 and every other index.
std::string GameTypeTitle(int index);

class HighScoreTable {
public:
    explicit HighScoreTable(HighScoreStore& store, HighScoreHost* host = nullptr)
        : store(store), host(host) {}

    void SetHost(HighScoreHost* newHost) { host = newHost; }
    HighScoreStore& Store() { return store; }

    // Makes t (0..9) the current table; other values change nothing.
    void SelectTable(int t);
    // Offers a score to the current table; true (and name entry opened on the new row) when it ranks.
    bool OfferScore(uint32_t score);
    void EndNameEntry() { entryActive = false; }
    // Name entry, while it is active: WM_KEYDOWN with Esc (drops the new row: the tables are read
    // again), Enter (saves) and Backspace; WM_CHAR appends a printable character while the name has
    // fewer than 16. A pad spells the name letter by letter: up and down turn the last letter through
    // A-Z, 0-9 and the blank, right adds a letter, left and B erase one, A and Start save. Every
    // change of the name makes the typing sound.
    void HandleNameKey(uint32_t messageId, uint64_t wParam);
    // The ten rows of the current table: rank at x1, name at x2, score at x3, row r at
    // y = top + (r + 1) * size * 1.25; the edit row in light red with a blinking cursor.
    void DrawRows(float top, float size, float x1, float x2, float x3) const;

    const HighScoreEntry& Entry(int table, int row) const { return store.Entry(table, row); }
    int CurrentTable() const { return currentTable; }
    bool EntryActive() const { return entryActive; }
    int EditRow() const { return editRow; }

private:
    HighScoreEntry& Row(int row) { return store.Entry(currentTable, row); }
    void PlaySound(const std::string& name);
    void HandlePadButton(int button, HighScoreEntry& entry, size_t length);

    HighScoreStore& store;
    HighScoreHost* host;
    int currentTable = 0;
    bool entryActive = false;
    int editRow = 0;
};
