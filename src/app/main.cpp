// Kelvane 3.0: reads its assets and the player's files from the working directory.
#include <cstdio>

#include "app/game_app.h"

int main(int argc, char** argv) {
    std::string error;
    const std::optional<RunOptions> options = ParseRunOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "kelvane: %s\n", error.c_str());
        return 2;
    }
    GameApp app;
    return app.Run(*options);
}
