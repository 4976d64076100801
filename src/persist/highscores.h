// The high-score tables as stored: ten ranked rows with player names for each of ten tables (tables 0..5
// belong to the six game choices), kept in memory for the whole run and stored as one checksummed
// 3600-byte block in scores.ini [HIGH SCORES] Data. This module only ranks, reads and writes the rows;
// showing them and typing a name into one is the high-score screen's business (ui/high_score_table.h).
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

class HighScoreStore {
public:
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

    // Ranks a score in table t (0..9): the row it takes, its name empty, or -1 when it does not rank.
    // A score equal to a stored one goes below it.
    int Insert(int table, uint32_t score);

    const HighScoreEntry& Entry(int table, int row) const { return entries[table * HighScoreRowCount + row]; }
    HighScoreEntry& Entry(int table, int row) { return entries[table * HighScoreRowCount + row]; }

    // The stored form of the tables, and back (false, entries unchanged, unless exactly 3600 bytes).
    std::string EncodeBlock() const;
    bool DecodeBlock(const std::string& block);

private:
    HighScoreEntry entries[HighScoreTableCount * HighScoreRowCount];
};
