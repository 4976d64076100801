// Kelvane 3.0: reads its assets and the player's files from the working directory.
#include <csignal>
#include <cstdio>

#include "app/game_app.h"

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
    GameApp app;
    return app.Run(*options);
}
