// Saves of the player's files that fail: why, in the player's words and in the system's, the log line,
// and the hook through which the shell shows it on screen. Every save of the settings and of the high
// scores ends here, failed or not. A failure is logged when it starts and when its reason changes, and
// the return to working saves is logged too, so a slider dragged on a full disk does not fill the log;
// the on-screen hook hears of every failed attempt.
#pragma once

#include <functional>
#include <string>

#include "persist/ini.h"

// What the player is told about a failed save, as a short text of language.ini (SaveProblemText).
enum class SaveProblem {
    None,
    DiskFull,
    NoPermission,
    ReadOnlyDisk,
    DiskError,
    FolderMissing,
    FileDamaged,
    Other
};

// The player's files that are saved while the game runs.
enum class SavedFile { Settings, HighScores };

SaveProblem SaveProblemOf(const FileWriteError& error);
// "disk full", "no permission", ... (a key of language.ini; "" for None).
const char* SaveProblemText(SaveProblem problem);
// "Settings not saved", "High scores not saved" (a key of language.ini).
const char* SaveFailedText(SavedFile file);

// Every save reports its outcome: path names the file in the log; error says why a save failed.
void ReportSave(SavedFile file, const std::string& path, bool saved, const FileWriteError& error = {});

// Called on every failed save with its problem, and with SaveProblem::None when saving works again.
using SaveProblemHandler = std::function<void(SavedFile file, SaveProblem problem)>;
void SetSaveProblemHandler(SaveProblemHandler handler);

// Forgets what was reported, as at program start (for tests).
void ResetSaveReports();
