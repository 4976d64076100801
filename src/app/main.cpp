// Kelvane 3.0. A windowed game reads its installed assets and keeps the player's files in the player's
// directories; a headless run (or --game-dir DIR) keeps every file in the working directory (or DIR).
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "app/game_app.h"
#include "base/paths.h"
#include "persist/player_files.h"

int main(int argc, char** argv) {
    std::string error;
    const std::optional<RunOptions> options = ParseRunOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "kelvane: %s\n", error.c_str());
        return 2;
    }
    // Before the game object exists: building it reads the screen files and the options, and
    // logs what it misses in whatever directory --help was asked from.
    if (options->help) {
        std::fputs(RunOptionsUsage().c_str(), stdout);
        return 0;
    }
    // Under a file size limit a save that grows past it fails with its reason, logged and shown,
    // instead of the signal ending the game.
    std::signal(SIGXFSZ, SIG_IGN);
    // The files' places are fixed before the game object reads its first screen file.
    if (!options->gameDir.empty()) {
        std::error_code fileError;
        if (!std::filesystem::is_directory(options->gameDir, fileError)) {
            std::fprintf(stderr, "kelvane: --game-dir %s is not a directory\n", options->gameDir.c_str());
            return 2;
        }
        UseFileLayout(SingleDirectoryLayout(options->gameDir));
    } else if (options->headless) {
        UseFileLayout(SingleDirectoryLayout(""));
    } else {
        std::string message;
        const bool found = UseInstalledFiles(ProgramPath(), message);
        if (!message.empty()) std::fprintf(stderr, "kelvane: %s\n", message.c_str());
        if (!found) return 1;
    }
    GiveNewPlayerDefaultSettings();
    GameApp app;
    return app.Run(*options);
}
