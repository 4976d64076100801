// The files of an installed game: the assets stay where they were installed and are read from there
// (the player's data directory first, so a player can replace one picture or sound), while the
// player's own files live in the player's directories: config.ini in ~/.config/kelvane, scores.ini in
// ~/.local/share/kelvane and app.log in ~/.local/state/kelvane (or where $XDG_CONFIG_HOME,
// $XDG_DATA_HOME and $XDG_STATE_HOME point). Earlier versions kept everything in one game directory,
// ~/.local/share/kelvane, with a copy of the assets that their launcher refreshed on every start; the
// first start of this version moves the player's files out of it and clears those copies away.
#pragma once

#include <string>

// Sets up the installed layout (base/paths.h) for the program at programPath and moves the player's
// files of an earlier version. False, with a message for the player, when the game's data is not
// found beside the program. True otherwise; message then tells what the run cannot keep (no home
// directory: settings and scores live in memory only), or is empty.
bool UseInstalledFiles(const std::string& programPath, std::string& message);

// The first start after an earlier version: config.ini and scores.ini found in oldDirectory are
// copied to their places under the current layout, and each old file is removed only once its copy
// is complete on disk; a file already in its new place is left alone, as is everything when a copy
// fails (the next start tries again). When config.ini moved, the assets that the old launcher copied
// into oldDirectory (every file there that the install's data directory also holds) are removed, so
// the installed assets are used again; files of the player's own are kept. Each step is logged.
void MoveOldPlayerFiles(const std::string& oldDirectory);

// A new player (no config.ini where the layout keeps it) starts with the game's default settings: the
// asset "default-config.ini" is copied there. A player's own config.ini is never touched, and without
// the asset or a place for config.ini nothing happens. Logged.
void GiveNewPlayerDefaultSettings();
