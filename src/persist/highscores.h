// The high-score tables: ten ranked rows with player names for each of ten tables (tables 0..5 belong
// to the six game choices), kept in memory for the whole run and stored as one checksummed 3600-byte
// block in scores.ini [HIGH SCORES] Data. The object also runs the name entry of a score that ranked
// and draws the rows of the current table. Drawing and sounds go through a host the shell supplies, so
// this module needs neither the UI nor the audio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One row as stored: a zero-terminated name (at most 16 characters are typed) and the score,
// 36 bytes, little-endian.
struct HighScoreEntry {
    char name[32] = {};
    uint32_t score = 0;
};

constexpr int HighScoreTableCount = 10;
constexpr int HighScoreRowCount = 10;
constexpr size_t HighScoreEntrySize = 36;
constexpr size_t HighScoreBlockSize = HighScoreEntrySize * HighScoreTableCount * HighScoreRowCount;  // 3600
constexpr size_t HighScoreNameMax = 16;
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

// The title shown above a table: 1 "Classic Game", 3 "Color Blocks", 5 "Rotated Color Blocks",
// "" for every other index.
std::string GameTypeTitle(int index);

class HighScoreTable {
public:
    explicit HighScoreTable(HighScoreHost* host = nullptr);
    virtual ~HighScoreTable();

    void SetHost(HighScoreHost* host) { this->host = host; }

    // Reads the tables from scores.ini; when that fails every entry becomes empty and the result is false.
    bool Load();
    // Writes every table to scores.ini; false when the file could not be written (entries stay in memory).
    bool Save();
    // Empties all ten tables and saves them.
    void Clear();
    // Start-up: Load, and when that fails write empty tables at once. A scores.ini that exists but
    // cannot be read is first kept beside it as "scores.ini.bak" (and the log says so); when that copy
    // cannot be made the file is left alone. Returns the result of Load.
    bool LoadOrCreate();

    // Makes t (0..9) the current table; other values change nothing.
    void SelectTable(int t);
    // Offers a score to the current table; true (and name entry opened on the new row) when it ranks.
    // A score equal to a stored one goes below it.
    bool OfferScore(uint32_t score);
    void EndNameEntry() { entryActive = false; }
    // Name entry, while it is active: WM_KEYDOWN with Esc, Enter, Backspace; WM_CHAR appends a
    // printable character while the name has fewer than 16.
    void HandleNameKey(uint32_t messageId, uint64_t wParam);
    // The ten rows of the current table: rank at x1, name at x2, score at x3, row r at
    // y = top + (r + 1) * size * 1.25; the edit row in light red with a blinking cursor.
    void DrawRows(float top, float size, float x1, float x2, float x3) const;

    const HighScoreEntry& Entry(int table, int row) const { return entries[table * HighScoreRowCount + row]; }
    int CurrentTable() const { return currentTable; }
    bool EntryActive() const { return entryActive; }
    int EditRow() const { return editRow; }

    // The stored form of the tables, and back (false, entries unchanged, unless exactly 3600 bytes).
    std::string EncodeBlock() const;
    bool DecodeBlock(const std::string& block);

private:
    HighScoreEntry& Row(int row) { return entries[currentTable * HighScoreRowCount + row]; }
    void PlaySound(const std::string& name);

    HighScoreHost* host;
    HighScoreEntry entries[HighScoreTableCount * HighScoreRowCount];
    int currentTable = 0;
    bool entryActive = false;
    int editRow = 0;
};
