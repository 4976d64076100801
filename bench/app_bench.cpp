// The whole game in one process, offscreen at 800 x 600 on the virtual clock: GameApp runs through the
// framework's own frame loop with a small input script that walks it from the main menu into a Classic
// game and then into a colour game. A subclass times the frames from its hooks:
//  - every frame is finished with glFinish at the start of the next AdvanceFrame, so the interval
//    between two of those calls is the whole frame: the message pump, the advance, the drawing, the
//    present and the wait for the GPU;
//  - in each measured stretch the frames alternate between a real game frame and an empty one (begin,
//    clear, end, present, finish), so both see the same machine load;
//  - in the colour game the well is filled with 240 cells (no two alike side by side, so nothing is
//    removed) and put back before every real frame with the piece's step timer restarted, because the
//    rules would otherwise lock the piece into the full well and end the game.
// It prints the time from constructing the game to the first finished menu frame, the frame costs
// and the peak resident memory. KELVANE_APP_BENCH_FRAMES sets the measured frames per stretch.
#include <SDL.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/game_app.h"

namespace {
using Clock = std::chrono::steady_clock;
using FinishFunction = void (*)();

double MsSince(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

enum Stretch { None = -1, Menu = 0, ClassicGame = 1, FullWell = 2, StretchCount = 3 };
const char* const StretchNames[] = {"main menu", "Classic game", "colour game, 240 cells"};

struct Samples {
    std::vector<double> game, empty;
};

// Where the stretches lie on the virtual clock; the script below clicks between them.
struct Plan {
    int64_t warmUp = 60;     // frames before each stretch, for lazily loaded textures and caches
    int64_t measured = 800;  // frames of each stretch, half of them empty
    int64_t menuStart = 0, classicClick = 0, classicStart = 0, leaveClick = 0, colourClick = 0,
            colourStart = 0, end = 0;

    explicit Plan(int64_t measuredFrames) : measured(measuredFrames) {
        menuStart = 1 + warmUp;
        classicClick = menuStart + measured;
        classicStart = classicClick + 10 + warmUp;
        leaveClick = classicStart + measured;
        colourClick = leaveClick + 60;
        colourStart = colourClick + 10 + warmUp;
        end = colourStart + measured;
    }

    // From the main menu into a Classic game (mode 1); out of it through the pause screen, past a name
    // entry should the score have entered the table, and into a colour game without bonuses (mode 3).
    std::string Script() const {
        std::string s;
        auto at = [&](int64_t frame, const std::string& line) {
            s += "at " + std::to_string(frame) + "\n" + line + "\n";
        };
        at(classicClick, "click procNewGame");
        at(classicClick + 10, "click procStart1");
        at(leaveClick, "key press Esc");
        at(leaveClick + 10, "click procEnd");
        at(leaveClick + 20, "key press Esc");
        at(leaveClick + 30, "click 504 516");  // the high-score screen's Close, harmless on the main menu
        at(leaveClick + 50, "click procNewGame");
        at(colourClick + 10, "click procStart3");
        at(end + 1, "quit");
        return s;
    }

    Stretch StretchOf(int64_t frame) const {
        if (frame >= menuStart && frame < menuStart + measured) return Menu;
        if (frame >= classicStart && frame < classicStart + measured) return ClassicGame;
        if (frame >= colourStart && frame < colourStart + measured) return FullWell;
        return None;
    }
};

class BenchApp : public GameApp {
public:
    BenchApp(const Plan& plan, FinishFunction finish, Clock::time_point start)
        : stateSeen(static_cast<size_t>(plan.end + 2), MainMenu), plan(plan), finish(finish), start(start) {}

    HResult AdvanceFrame(float frameTime) override {
        finish();
        const Clock::time_point t = Clock::now();
        if (frame == 1) firstFrameMs = MsSince(start, t);
        if (frame >= 1) {
            const int64_t previous = frame - 1;
            const Stretch stretch = plan.StretchOf(previous);
            if (stretch != None) {
                Samples& into = samples[stretch];
                (IsEmptyFrame(previous) ? into.empty : into.game).push_back(MsSince(lastFrameStart, t));
            }
        }
        lastFrameStart = t;
        const int64_t current = frame++;
        empty = IsEmptyFrame(current);

        if (current == plan.colourStart - plan.warmUp) FillWell();
        if (current < static_cast<int64_t>(stateSeen.size()))
            stateSeen[static_cast<size_t>(current)] = appState;
        if (empty) return S_OK;
        if (wellFilled) {
            // The same full well every frame, with the piece's step timer just restarted so that the
            // piece hangs above it: the frame draws the 240 cells and the piece, and the game goes on.
            State() = fullWell;
            State().lastStepTime = frameTime;
            Core().RebuildCellIndex();
        }
        return GameApp::AdvanceFrame(frameTime);
    }

    HResult RenderFrame() override {
        if (!empty) return GameApp::RenderFrame();
        GraphicsDevice* device = Device();
        device->BeginScene();
        device->Clear(ClearTarget | ClearDepth, 0xFF000000u, 1.0f);
        device->EndScene();
        return S_OK;
    }

    double firstFrameMs = -1;
    Samples samples[StretchCount];
    std::vector<AppState> stateSeen;  // appState at the start of each frame
    bool wellFilled = false;
    int wellCount = 0;

private:
    bool IsEmptyFrame(int64_t frame) const { return plan.StretchOf(frame) != None && frame % 2 == 1; }

    // 240 cells, colour (column + 2 row) mod 7: neighbours differ along rows, columns and both diagonals.
    void FillWell() {
        if (State().gameType == Classic || appState != Playing) return;
        Core().ClearWell();
        for (int row = 1; row <= WellRows; ++row)
            for (int column = 1; column <= WellColumns; ++column) {
                Cell cell;
                cell.column = column;
                cell.row = row;
                cell.colour = (column + 2 * row) % ColourCount;
                Core().AppendWellCell(cell);
            }
        fullWell = State();
        wellCount = State().well.count;
        wellFilled = true;
    }

    const Plan& plan;
    FinishFunction finish;
    Clock::time_point start;
    Clock::time_point lastFrameStart;
    int64_t frame = 0;
    bool empty = false;
    GameState fullWell;
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index =
        std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5));
    return values[index];
}

void PrintRow(const char* name, const char* kind, const std::vector<double>& values) {
    std::printf("  %-24s %-6s %6zu %9.3f %9.3f %9.3f %9.3f\n", name, kind, values.size(),
                Percentile(values, 0.5), Percentile(values, 0.95), Percentile(values, 0.99),
                Percentile(values, 1.0));
}

// Copies the built game's assets (not the player's files) into a fresh temporary directory.
std::filesystem::path CopyGameDirectory(std::error_code& error) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "kelvane-app-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        error = std::error_code(errno, std::generic_category());
        return {};
    }
    const fs::path target = pattern;
    for (const fs::directory_entry& entry : fs::directory_iterator(KELVANE_GAME_DIR, error)) {
        const std::string name = entry.path().filename().string();
        if (name == "config.ini" || name == "scores.ini" || name == "app.log" || name == "kelvane") continue;
        fs::copy(entry.path(), target / name, fs::copy_options::recursive, error);
        if (error) return target;
    }
    return target;
}
}  // namespace

int main() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    int64_t measured = 800;
    if (const char* text = std::getenv("KELVANE_APP_BENCH_FRAMES"))
        measured = std::clamp<int64_t>(std::atoll(text), 20, 100'000);
    measured += measured % 2;
    const Plan plan(measured);

    std::error_code error;
    const std::filesystem::path directory = CopyGameDirectory(error);
    if (error || directory.empty() || chdir(directory.c_str()) != 0) {
        std::fprintf(stderr, "app_bench: cannot prepare a game directory from %s: %s\n", KELVANE_GAME_DIR,
                     error.message().c_str());
        return 1;
    }
    const std::filesystem::path scriptFile = directory / "bench-script.txt";
    std::ofstream(scriptFile) << plan.Script();

    // glFinish through SDL, which has the GL library loaded by the time the first frame runs.
    static FinishFunction glFinishFunction = nullptr;
    FinishFunction finish = [] {
        if (!glFinishFunction)
            glFinishFunction = reinterpret_cast<FinishFunction>(SDL_GL_GetProcAddress("glFinish"));
        if (glFinishFunction) glFinishFunction();
    };

    RunOptions options;
    options.headless = true;
    options.seed = 7;
    options.scriptFile = scriptFile.string();
    options.frames = plan.end + 2;

    const Clock::time_point start = Clock::now();
    int exitCode = 0;
    double firstFrameMs = 0;
    Samples samples[StretchCount];
    bool statesRight = true;
    int wellCount = 0;
    {
        BenchApp app(plan, finish, start);
        exitCode = app.Run(options);
        firstFrameMs = app.firstFrameMs;
        for (int i = 0; i < StretchCount; ++i) samples[i] = app.samples[i];
        wellCount = app.wellCount;
        // Each stretch must have been drawn in the state it stands for.
        for (int64_t f = 0; f <= plan.end; ++f) {
            const Stretch stretch = plan.StretchOf(f);
            const AppState seen = app.stateSeen[static_cast<size_t>(f)];
            if (stretch == None || seen == (stretch == Menu ? MainMenu : Playing)) continue;
            if (statesRight)
                std::fprintf(stderr, "app_bench: frame %lld of the %s was drawn in state %d\n",
                             static_cast<long long>(f), StretchNames[stretch], static_cast<int>(seen));
            statesRight = false;
        }
        statesRight &= app.wellFilled;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::filesystem::remove_all(directory, error);

    double load[3] = {0, 0, 0};
    if (std::FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3)
            load[0] = load[1] = load[2] = -1;
        std::fclose(file);
    }

    std::printf("Kelvane whole-program benchmark, offscreen 800 x 600 (load average %.2f %.2f %.2f)\n",
                load[0], load[1], load[2]);
    std::printf("  start to first finished menu frame: %.1f ms (goal < 500)\n", firstFrameMs);
    std::printf("  frame cost in ms, finished with glFinish; game frames and empty frames alternate\n");
    std::printf("  %-24s %-6s %6s %9s %9s %9s %9s\n", "stretch", "frame", "count", "median", "p95", "p99",
                "max");
    for (int i = 0; i < StretchCount; ++i) {
        PrintRow(StretchNames[i], "game", samples[i].game);
        PrintRow("", "empty", samples[i].empty);
        std::printf("  %-24s %-6s %6s %9.3f\n", "", "diff", "",
                    Percentile(samples[i].game, 0.5) - Percentile(samples[i].empty, 0.5));
    }
    std::printf("  cells in the full well: %d\n", wellCount);
    std::printf("  peak resident memory: %.1f MiB (goal < 150)\n",
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    if (exitCode != 0 || !statesRight) {
        std::fprintf(stderr, "app_bench: the run did not go as planned (exit code %d, states %s)\n", exitCode,
                     statesRight ? "as planned" : "not as planned");
        return 1;
    }
    return 0;
}
