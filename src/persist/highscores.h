// The high-score tables as stored: ten ranked rows with player names for each of ten tables (tables 0..5
// belong to the six game choices), kept in memory for the whole run and stored as one checksummed
// 3600-byte block in scores.ini [HIGH SCORES] Data. This module only ranks, reads and writes the rows;
// showing them and typing a name into one is the high-score screen's business (ui/high_score_table.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "persist/ini.h"

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

// Damaged scores files are never written over without a copy: copies are kept as scores.ini.bak,
// scores.ini.bak.1 ... up to this many.
constexpr int MaxScoresBackups = 5;

class HighScoreStore {
public:
    // Reads the tables from the scores file; when that fails every entry becomes empty and the result is
    // false. Scores whose save failed stay in the tables either way, waiting for the next save.
    bool Load();
    // Merges the tables into the scores file and writes it: under a lock file, the file is read again and
    // the rows this game added since it last read or wrote the file join the rows the file holds now
    // (another copy of the game may have saved meanwhile), ranked, ten per table. False when the file
    // could not be written: the rows stay in memory and the next save tries again. Every outcome is
    // reported (persist/save_report.h).
    bool Save();
    // Empties all ten tables and saves them (no merge: a clear empties the file too).
    void Clear();
    // Start-up: Load, and when that fails write empty tables at once. A scores.ini that exists but
    // cannot be read is first copied to the first free numbered backup (or one already holding the same
    // bytes), and the log says so. When no copy can be made, scores.ini is left as it is and the tables
    // live in "scores.ini.new" instead, for this run and the next. Returns the result of Load.
    bool LoadOrCreate();

    // Ranks a score in table t (0..9): the row it takes, its name empty, or -1 when it does not rank.
    // A score equal to a stored one goes below it.
    int Insert(int table, uint32_t score);

    const HighScoreEntry& Entry(int table, int row) const { return entries[table * HighScoreRowCount + row]; }
    HighScoreEntry& Entry(int table, int row) { return entries[table * HighScoreRowCount + row]; }

    // The stored form of the tables, and back (false, entries unchanged, unless exactly 3600 bytes).
    std::string EncodeBlock() const;
    bool DecodeBlock(const std::string& block);

    // The file the tables are kept in: "scores.ini", or "scores.ini.new" while scores.ini is damaged
    // and could not be copied.
    const std::string& FileName() const { return fileName; }

private:
    bool ReadFileBlock(std::string& block) const;
    bool WriteFileBlock(const std::string& block, FileWriteError& error);
    // Keeps a copy of a damaged scores.ini, or moves the tables to another file name when none can be
    // made; false when neither worked.
    bool PutDamagedFileAside();

    HighScoreEntry entries[HighScoreTableCount * HighScoreRowCount];
    std::string fileName = "scores.ini";
    // The tables as this game last read them from or wrote them to the file: the rows the tables hold
    // beyond these are this game's own new rows, which a save merges into the file.
    HighScoreEntry lastStoredEntries[HighScoreTableCount * HighScoreRowCount];
    // Rows (table, entry) whose save failed; a reload keeps them.
    std::vector<std::pair<int, HighScoreEntry>> unsavedRows;
    // A clear that could not be written: the next save empties the file rather than merging with it.
    bool clearPending = false;
    // A copy of the damaged file under fileName has just been kept: it may be written over.
    bool damagedFileCopied = false;
};
