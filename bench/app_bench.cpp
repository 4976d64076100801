// The whole game in one process, offscreen on the virtual clock: GameApp runs through the framework's
// own frame loop with a small input script that walks it from the main menu into a Classic game and
// then into a colour game. A subclass times the frames from its hooks:
//  - every frame is finished with glFinish at the start of the next AdvanceFrame, so the interval
//    between two of those calls is the whole frame: the message pump, the advance, the drawing, the
//    present and the wait for the GPU;
//  - in each measured stretch the frames alternate between a real game frame and an empty one (begin,
//    clear, end, present, finish), so both see the same machine load;
//  - in the colour game the well is first filled with 240 cells (no two alike side by side, so nothing
//    is removed) and put back before every real frame with the piece's step timer restarted, because
//    the rules would otherwise lock the piece into the full well and end the game;
//  - then the well changes as in play: from 132 resting cells, every bar is steered to a column and
//    dropped, locks, makes runs that are removed (every other bar is of one colour) and cells that fall,
//    until the stack comes within four rows of the top and the 132 cells are put back. Each frame is sorted
//    by what happened in it: the well did not change, a piece locked, cells joined the well's kept picture,
//    cells were removed, the well was drawn afresh.
// It prints the time from constructing the game to the first finished menu frame, the frame costs and
// the peak resident memory.
//
//   app_bench [--size WxH] [--moving-background] [--scene-limit WxH|none] [--frames N]
//
// --size: the window's client size (default 800x600; the picture keeps its 4:3 shape inside it).
// --moving-background: the scrolling tunnel instead of the static picture (the option's default).
// --scene-limit: the most pixels the 3D scene is drawn with before it is scaled up (default: the
// device's own choice, 800x600 on a software renderer); none draws it at the picture's size.
// --frames: measured frames per stretch (default 800; KELVANE_APP_BENCH_FRAMES as well).
#include <SDL.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "device/gl_device.h"
#include "device/window_layout.h"

namespace {
using Clock = std::chrono::steady_clock;
using FinishFunction = void (*)();

double MsSince(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

enum Stretch { None = -1, Menu = 0, ClassicGame = 1, FullWell = 2, ChangingWell = 3, StretchCount = 4 };
const char* const StretchNames[] = {"main menu", "Classic game", "colour game, 240 cells",
                                    "colour game, changing"};

// What happened in a frame of the changing well (a frame may be in several kinds).
enum Kind { Unchanged = 0, Locked = 1, Joined = 2, Removed = 3, Afresh = 4, KindCount = 5 };
const char* const KindNames[] = {"well unchanged", "a piece locks", "cells join kept well", "cells removed",
                                 "well drawn afresh"};

struct Samples {
    std::vector<double> game, empty;
    std::vector<double> kinds[KindCount];
};

// Where the stretches lie on the virtual clock; the script below clicks between them.
struct Plan {
    int64_t warmUp = 60;     // frames before each stretch, for lazily loaded textures and caches
    int64_t measured = 800;  // frames of each stretch, half of them empty
    int64_t menuStart = 0, classicClick = 0, classicStart = 0, leaveClick = 0, colourClick = 0,
            colourStart = 0, changingStart = 0, end = 0;

    PixelRect picture;  // where the picture lies in the window, for the one click at a point

    Plan(int64_t measuredFrames, const PixelRect& picture) : measured(measuredFrames), picture(picture) {
        menuStart = 1 + warmUp;
        classicClick = menuStart + measured;
        classicStart = classicClick + 10 + warmUp;
        leaveClick = classicStart + measured;
        colourClick = leaveClick + 60;
        colourStart = colourClick + 10 + warmUp;
        changingStart = colourStart + measured + warmUp;
        end = changingStart + 2 * measured;
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
        // The high-score screen's Close, harmless on the main menu.
        at(leaveClick + 30, "click " + std::to_string(picture.width * 504 / 800) + " " +
                                std::to_string(picture.height * 516 / 600));
        at(leaveClick + 50, "click procNewGame");
        at(colourClick + 10, "click procStart3");
        at(end + 1, "quit");
        return s;
    }

    Stretch StretchOf(int64_t frame) const {
        if (frame >= menuStart && frame < menuStart + measured) return Menu;
        if (frame >= classicStart && frame < classicStart + measured) return ClassicGame;
        if (frame >= colourStart && frame < colourStart + measured) return FullWell;
        if (frame >= changingStart && frame < changingStart + 2 * measured) return ChangingWell;
        return None;
    }
};

struct BenchSettings {
    int width = 800, height = 600;
    bool movingBackground = false;
    bool limitGiven = false;
    PixelExtent sceneLimit{};
    int64_t measured = 800;
};

class BenchApp : public GameApp {
public:
    BenchApp(const Plan& plan, const BenchSettings& settings, FinishFunction finish, Clock::time_point start)
        : stateSeen(static_cast<size_t>(plan.end + 2), MainMenu),
          plan(plan),
          settings(settings),
          finish(finish),
          start(start) {}

    HResult InitApplication() override {
        const HResult result = GameApp::InitApplication();
        dynamicBackground = settings.movingBackground ? 1 : 0;
        return result;
    }

    HResult CreateDeviceObjects() override {
        if (auto* device = dynamic_cast<GlDevice*>(Device())) {
            if (settings.limitGiven) device->SetSceneLimit(settings.sceneLimit);
            software = device->SoftwareRenderer();
            sceneSize = device->SceneSize();
        }
        pictureSize = {MainWindow()->ClientWidth(), MainWindow()->ClientHeight()};
        return GameApp::CreateDeviceObjects();
    }

    HResult AdvanceFrame(float frameTime) override {
        finish();
        const Clock::time_point t = Clock::now();
        if (frame == 1) firstFrameMs = MsSince(start, t);
        if (frame >= 1) Record(frame - 1, MsSince(lastFrameStart, t));
        lastFrameStart = t;
        const int64_t current = frame++;
        empty = IsEmptyFrame(current);
        events = {};
        afreshBecauseOfReset = false;

        if (current == plan.colourStart - plan.warmUp) FillWell(1, WellRows);
        if (current == plan.changingStart - plan.warmUp) {
            wellFilled = false;
            FillWell(ChangingTopRow, WellRows);
            changingWell = State();
        }
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
        if (!changingWell.well.count) return GameApp::AdvanceFrame(frameTime);
        if (appState == Playing && StackIsHigh()) {
            // The stack nears the top: the resting cells are put back, and the piece starts again.
            const float startTime = State().gameStartTime;
            State() = changingWell;
            State().gameStartTime = startTime;
            State().lastStepTime = frameTime;
            Core().RebuildCellIndex();
            afreshBecauseOfReset = true;
        }
        SteerAndDrop();
        return GameApp::AdvanceFrame(frameTime);
    }

    HResult RenderFrame() override {
        if (!empty) {
            auto* device = dynamic_cast<GlDevice*>(Device());
            const GlDevice::Statistics before = device ? device->Stats() : GlDevice::Statistics{};
            const HResult result = GameApp::RenderFrame();
            const GlDevice::Statistics after = device ? device->Stats() : GlDevice::Statistics{};
            joined = after.layerAdditions > before.layerAdditions;
            afresh = after.layerPaints > before.layerPaints;
            return result;
        }
        GraphicsDevice* device = Device();
        device->BeginScene();
        device->Clear(ClearTarget | ClearDepth, 0xFF000000u, 1.0f);
        device->EndScene();
        return S_OK;
    }

    void OnGameEvent(const GameEvent& event) override {
        GameApp::OnGameEvent(event);
        if (event.kind == GameEventKind::PieceLocked) events.locked = true;
        if (event.kind == GameEventKind::CellsRemoved || event.kind == GameEventKind::RowsRemoved)
            events.removed = true;
        if (event.kind == GameEventKind::GameLost) ++gamesLost;
    }

    double firstFrameMs = -1;
    Samples samples[StretchCount];
    std::vector<AppState> stateSeen;  // appState at the start of each frame
    bool wellFilled = false;
    int wellCount = 0, changingBase = 0, gamesLost = 0;
    bool software = false;
    PixelExtent sceneSize{}, pictureSize{};

private:
    // The changing well starts with rows 10 to 20 full (132 cells): room above for a few bars in every
    // column, so runs are removed before the stack comes near the top and is put back.
    static constexpr int ChangingTopRow = 10;

    bool IsEmptyFrame(int64_t frame) const { return plan.StretchOf(frame) != None && frame % 2 == 1; }

    void Record(int64_t previous, double ms) {
        const Stretch stretch = plan.StretchOf(previous);
        if (stretch == None) return;
        Samples& into = samples[stretch];
        if (IsEmptyFrame(previous)) {
            into.empty.push_back(ms);
            return;
        }
        into.game.push_back(ms);
        if (stretch != ChangingWell || afreshBecauseOfReset) return;
        const bool changed = events.locked || events.removed || joined || afresh;
        if (!changed) into.kinds[Unchanged].push_back(ms);
        if (events.locked) into.kinds[Locked].push_back(ms);
        if (joined) into.kinds[Joined].push_back(ms);
        if (events.removed) into.kinds[Removed].push_back(ms);
        if (afresh) into.kinds[Afresh].push_back(ms);
    }

    // Rows from..to full, colour (column + 2 row) mod 7: neighbours differ along rows, columns and both
    // diagonals, so nothing is removed.
    void FillWell(int from, int to) {
        if (State().gameType == Classic || appState != Playing) return;
        Core().ClearWell();
        for (int row = from; row <= to; ++row)
            for (int column = 1; column <= WellColumns; ++column) {
                Cell cell;
                cell.column = column;
                cell.row = row;
                cell.colour = (column + 2 * row) % ColourCount;
                Core().AppendWellCell(cell);
            }
        if (from == 1) {
            fullWell = State();
            wellCount = State().well.count;
            wellFilled = true;
        } else {
            changingBase = State().well.count;
        }
    }

    bool StackIsHigh() const {
        const Well& well = State().well;
        for (int i = 0; i < well.count; ++i)
            if (well.cells[static_cast<size_t>(i)].row <= 4) return true;
        return false;
    }

    // Each new bar goes to a column of its own (one step a frame) and is dropped there.
    void SteerAndDrop() {
        if (appState != Playing || !Core().IsPieceControllable() || State().dropRequested) return;
        const int column = State().piece.cells[0].column;
        if (targetColumn < 1) {
            targetColumn = 1 + (dropCount * 5 + 3) % WellColumns;
            // Every other bar in one colour: three alike in a line as it lands, so the stretch also has
            // the frames in which cells are removed and the cells above fall.
            if (dropCount % 2 == 0) {
                for (int i = 0; i < 3; ++i) {
                    State().piece.cells[static_cast<size_t>(i)].colour = State().piece.cells[0].colour;
                    State().currentBarColours[static_cast<size_t>(i)] = State().piece.cells[0].colour;
                }
            }
        }
        if (column < targetColumn) {
            Core().MovePieceRight();
        } else if (column > targetColumn) {
            Core().MovePieceLeft();
        }
        if (State().piece.cells[0].column == column) {
            Core().RequestDrop();
            ++dropCount;
            targetColumn = 0;
        }
    }

    const Plan& plan;
    const BenchSettings& settings;
    FinishFunction finish;
    Clock::time_point start;
    Clock::time_point lastFrameStart;
    int64_t frame = 0;
    bool empty = false;
    GameState fullWell, changingWell;
    struct {
        bool locked = false, removed = false;
    } events;
    bool joined = false, afresh = false, afreshBecauseOfReset = false;
    int targetColumn = 0, dropCount = 0;
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index =
        std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5));
    return values[index];
}

void PrintRow(const char* name, const char* kind, const std::vector<double>& values) {
    std::printf("  %-24s %-22s %6zu %9.3f %9.3f %9.3f %9.3f\n", name, kind, values.size(),
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

bool ParseSize(const char* text, int& width, int& height) {
    return text && std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0;
}

bool ParseArguments(int argc, char** argv, BenchSettings& settings) {
    if (const char* text = std::getenv("KELVANE_APP_BENCH_FRAMES"))
        settings.measured = std::clamp<int64_t>(std::atoll(text), 20, 100'000);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--size" && ParseSize(value, settings.width, settings.height)) {
            ++i;
        } else if (arg == "--moving-background") {
            settings.movingBackground = true;
        } else if (arg == "--scene-limit" && value) {
            settings.limitGiven = true;
            if (std::strcmp(value, "none") != 0 &&
                !ParseSize(value, settings.sceneLimit.width, settings.sceneLimit.height))
                return false;
            ++i;
        } else if (arg == "--frames" && value) {
            settings.measured = std::clamp<int64_t>(std::atoll(value), 20, 100'000);
            ++i;
        } else {
            return false;
        }
    }
    settings.measured += settings.measured % 2;
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    BenchSettings settings;
    if (!ParseArguments(argc, argv, settings)) {
        std::fprintf(stderr,
                     "usage: app_bench [--size WxH] [--moving-background] [--scene-limit WxH|none] "
                     "[--frames N]\n");
        return 2;
    }
    const Plan plan(settings.measured, FitPicture(settings.width, settings.height, 800, 600));

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
    options.width = settings.width;
    options.height = settings.height;

    const Clock::time_point start = Clock::now();
    int exitCode = 0;
    double firstFrameMs = 0;
    Samples samples[StretchCount];
    bool statesRight = true;
    int wellCount = 0, changingBase = 0, gamesLost = 0;
    bool software = false;
    PixelExtent sceneSize{}, pictureSize{};
    {
        BenchApp app(plan, settings, finish, start);
        exitCode = app.Run(options);
        firstFrameMs = app.firstFrameMs;
        for (int i = 0; i < StretchCount; ++i) samples[i] = app.samples[i];
        wellCount = app.wellCount;
        changingBase = app.changingBase;
        gamesLost = app.gamesLost;
        software = app.software;
        sceneSize = app.sceneSize;
        pictureSize = app.pictureSize;
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
        statesRight &= app.wellCount > 0 && app.changingBase > 0;
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

    std::printf("Kelvane whole-program benchmark, offscreen %d x %d (load average %.2f %.2f %.2f)\n",
                settings.width, settings.height, load[0], load[1], load[2]);
    std::printf("  picture %d x %d, 3D scene drawn at %d x %d on a %s renderer, %s background\n",
                pictureSize.width, pictureSize.height, sceneSize.width, sceneSize.height,
                software ? "software" : "hardware", settings.movingBackground ? "moving" : "static");
    std::printf("  start to first finished menu frame: %.1f ms (goal < 500)\n", firstFrameMs);
    std::printf("  frame cost in ms, finished with glFinish; game frames and empty frames alternate\n");
    std::printf("  %-24s %-22s %6s %9s %9s %9s %9s\n", "stretch", "frame", "count", "median", "p95", "p99",
                "max");
    for (int i = 0; i < StretchCount; ++i) {
        PrintRow(StretchNames[i], "game", samples[i].game);
        if (i == ChangingWell)
            for (int kind = 0; kind < KindCount; ++kind)
                PrintRow("", KindNames[kind], samples[i].kinds[kind]);
        PrintRow("", "empty", samples[i].empty);
        std::printf("  %-24s %-22s %6s %9.3f\n", "", "game - empty (median)", "",
                    Percentile(samples[i].game, 0.5) - Percentile(samples[i].empty, 0.5));
    }
    const double unchanged = Percentile(samples[ChangingWell].kinds[Unchanged], 0.5);
    if (unchanged > 0)
        std::printf(
            "  changing well: a piece locks at %.2f x, cells join at %.2f x the unchanged frame (medians; "
            "goal <= 1.5)\n",
            Percentile(samples[ChangingWell].kinds[Locked], 0.5) / unchanged,
            Percentile(samples[ChangingWell].kinds[Joined], 0.5) / unchanged);
    std::printf("  cells in the full well: %d; the changing well starts from %d; games lost: %d\n", wellCount,
                changingBase, gamesLost);
    std::printf("  peak resident memory: %.1f MiB (goal < 150)\n",
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    if (exitCode != 0 || !statesRight) {
        std::fprintf(stderr, "app_bench: the run did not go as planned (exit code %d, states %s)\n", exitCode,
                     statesRight ? "as planned" : "not as planned");
        return 1;
    }
    return 0;
}
