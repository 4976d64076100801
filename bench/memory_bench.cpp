// Resident memory of the whole game over a long colour game: GameApp runs headless through the
// framework's own frame loop on the virtual clock, played by the random player of the soak runs
// (tools/soak/gen-script.py: games started through the menus, random keys and pointer moves, pauses,
// games lost and names entered), its clicks scaled to the picture of the window size asked for. It
// prints the resident memory and the heap in use at the end of every minute of play, and the peak
// resident memory over the run.
//
//   memory_bench [--size WxH] [--minutes M] [--mode 1..6] [--moving-background]
//
// Defaults: 800x600, 10 minutes (36,000 frames at 60 frames per second), mode 3 (the colour game).
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "device/window_layout.h"

namespace {
namespace fs = std::filesystem;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

class MeasuredGame : public GameApp {
public:
    explicit MeasuredGame(bool movingBackground) : movingBackground(movingBackground) {}

    HResult InitApplication() override {
        const HResult result = GameApp::InitApplication();
        if (movingBackground) dynamicBackground = 1;
        return result;
    }
    HResult AdvanceFrame(float now) override {
        if (++frame % 3600 == 0) {
            const struct mallinfo2 heap = mallinfo2();
            minutes.push_back({ResidentKiB(), double(heap.uordblks + heap.hblkhd) / 1048576.0});
        }
        return GameApp::AdvanceFrame(now);
    }
    void OnGameEvent(const GameEvent& event) override {
        GameApp::OnGameEvent(event);
        if (event.kind == GameEventKind::GameLost) ++gamesLost;
    }
    void OnGameStarted() override {
        GameApp::OnGameStarted();
        ++gamesStarted;
    }

    bool movingBackground;
    int64_t frame = 0;
    int gamesStarted = 0, gamesLost = 0;
    struct Sample {
        long residentKiB;
        double heapMiB;  // in use, large blocks included
    };
    std::vector<Sample> minutes;  // at the end of every minute of play
};

// The player's clicks and moves, written for the 800 x 600 picture, at the same places of another one.
std::string ScaledScript(const std::string& text, const PixelRect& picture) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("click ", 0) == 0 || line.rfind("move ", 0) == 0 || line.rfind("button ", 0) == 0) {
            std::istringstream words(line);
            std::string word, scaled;
            int number = 0;
            for (int index = 0; words >> word; ++index) {
                char* end = nullptr;
                const long value = std::strtol(word.c_str(), &end, 10);
                if (end && *end == '\0' && !word.empty()) {
                    const bool isX = number++ % 2 == 0;
                    word = std::to_string(isX ? value * picture.width / 800 : value * picture.height / 600);
                }
                scaled += (index ? " " : "") + word;
            }
            line = scaled;
        }
        out += line + "\n";
    }
    return out;
}
}  // namespace

int main(int argc, char** argv) {
    int width = 800, height = 600, minutes = 10, mode = 3;
    bool moving = false;
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!std::strcmp(argv[i], "--size") && value && std::sscanf(value, "%dx%d", &width, &height) == 2) {
            ++i;
        } else if (!std::strcmp(argv[i], "--minutes") && value && std::atoi(value) > 0) {
            minutes = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--mode") && value && std::atoi(value) >= 1 &&
                   std::atoi(value) <= 6) {
            mode = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--moving-background")) {
            moving = true;
        } else {
            std::fprintf(
                stderr,
                "usage: memory_bench [--size WxH] [--minutes M] [--mode 1..6] [--moving-background]\n");
            return 2;
        }
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);

    std::error_code error;
    std::string pattern = (fs::temp_directory_path() / "kelvane-memory-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const fs::path directory = pattern;
    for (const fs::directory_entry& entry : fs::directory_iterator(KELVANE_GAME_DIR, error)) {
        const std::string name = entry.path().filename().string();
        if (name == "config.ini" || name == "scores.ini" || name == "app.log" || name == "kelvane") continue;
        fs::copy(entry.path(), directory / name, fs::copy_options::recursive, error);
    }
    const int64_t frames = int64_t(minutes) * 3600;
    const std::string generate = "python3 '" + std::string(KELVANE_SOURCE_DIR) +
                                 "/tools/soak/gen-script.py' --game-dir '" + directory.string() +
                                 "' --mode " + std::to_string(mode) + " --frames " + std::to_string(frames) +
                                 " --seed 1 --out '" + (directory / "player.txt").string() + "'";
    if (error || chdir(directory.c_str()) != 0 || std::system(generate.c_str()) != 0) {
        std::fprintf(stderr, "memory_bench: cannot prepare the game directory and the player in %s\n",
                     directory.c_str());
        return 1;
    }
    const PixelRect picture = FitPicture(width, height, 800, 600);
    {
        std::ifstream in("player.txt");
        std::stringstream text;
        text << in.rdbuf();
        std::ofstream("player-scaled.txt") << ScaledScript(text.str(), picture);
    }

    RunOptions options;
    options.headless = true;
    options.seed = 1;
    options.frames = frames;
    options.width = width;
    options.height = height;
    options.scriptFile = "player-scaled.txt";
    int exitCode = 0, started = 0, lost = 0;
    std::vector<MeasuredGame::Sample> samples;
    {
        MeasuredGame game(moving);
        exitCode = game.Run(options);
        started = game.gamesStarted;
        lost = game.gamesLost;
        samples = game.minutes;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    fs::current_path("/");
    fs::remove_all(directory, error);

    std::printf(
        "Kelvane memory over %d minutes of mode %d, headless %d x %d (picture %d x %d), %s background\n",
        minutes, mode, width, height, picture.width, picture.height, moving ? "moving" : "static");
    std::printf("  games started %d, lost %d\n  resident memory at the end of each minute (MiB):", started,
                lost);
    for (const MeasuredGame::Sample& sample : samples)
        std::printf(" %.1f", double(sample.residentKiB) / 1024.0);
    std::printf("\n  heap in use then (MiB):");
    for (const MeasuredGame::Sample& sample : samples) std::printf(" %.1f", sample.heapMiB);
    std::printf("\n  peak resident memory: %.1f MiB (goal < 150)\n", double(usage.ru_maxrss) / 1024.0);
    return exitCode == 0 ? 0 : 1;
}
