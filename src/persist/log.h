// The application log, app.log: a plain-text record of one run (its start, assets that failed to load,
// configuration warnings). Every entry opens the file, writes and closes it, so each line is on disk
// even if the game ends abruptly. The log's place is found at the run's first entry and kept for the
// run: the game directory (the directory then current, in a single-directory run) or the player's
// state directory of an installed game. The run's first new-file entry ("*** SESSION STARTED ***") starts the
// file afresh and then writes again, in order, the few entries that came before it in the same run, so they
// are not lost.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t LogNewFile = 1;     // truncate instead of appending
constexpr uint32_t LogTimeStamp = 2;   // "HH:MM:SS : " before the text
constexpr uint32_t LogFrame = 4;       // a line of 74 asterisks before and after the entry
constexpr uint32_t LogWarning = 0x10;  // "===> Warning: " before the text (after the time)

// Writes one entry. The text is written as given (callers format it first); lines end with CR LF.
// The game never stops or waits because of the log: app.log is opened without waiting and written only
// when it is a regular file; an entry that cannot be written goes to standard error instead.
void WriteLog(const std::string& text, uint32_t flags = 0);

// The bytes one entry adds to the file, line ends included.
std::string FormatLogEntry(const std::string& text, uint32_t flags);

// Where the log is written this run ("" before the first entry, and in a run where it has no place).
std::string LogFilePath();

// Forgets the remembered place and the entries kept for the session start, as at program start.
// For tests, which run many "sessions" in one process.
void ResetLogState();
