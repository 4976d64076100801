// The command line, and headless runs of a small application: hook order, the virtual clock, device
// re-creation, scripted input, screenshots, traces and failed start-ups.
#include "shell/framework.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "base/clock.h"
#include "device/image_loader.h"
#include "headless/script.h"
#include "headless/trace.h"

// SDL's video start-up, trying the display drivers one after another when DISPLAY names no server,
// talks to the session bus; libdbus keeps a buffer of that for the life of the process. Only that
// library's leaks are excused here.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
#endif

namespace {

std::optional<RunOptions> Parse(std::vector<std::string> args, std::string& error) {
    args.insert(args.begin(), "kelvane");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    return ParseRunOptions(static_cast<int>(argv.size()), argv.data(), error);
}

class ProbeApp : public Application, public RunnerGame {
public:
    std::vector<std::string> calls;
    std::vector<float> nows;
    std::vector<uint32_t> ticks;
    std::vector<bool> leftHeld;
    std::vector<Point> cursors;
    std::vector<Message> messages;
    HResult initResult = S_OK, createResult = S_OK;
    std::function<void(ProbeApp&, size_t frame)> onFrame;
    ColourArgb clearColour = 0xFF3366CC;

    ProbeApp() {
        AttachRunnerGame(this);
        windowTitle = "Probe";
        windowWidth = 320;
        windowHeight = 200;
    }
    void SetWindowed(bool value) { windowed = value; }

    HResult InitApplication() override {
        calls.push_back(Device() == nullptr && MainWindow() == nullptr ? "init" : "init-with-window");
        return initResult;
    }
    HResult CreateDeviceObjects() override {
        calls.push_back(Device() != nullptr ? "create" : "create-without-device");
        return createResult;
    }
    HResult ReleaseDeviceObjects() override {
        calls.push_back("release");
        return S_OK;
    }
    HResult ShutDown() override {
        calls.push_back("shutdown");
        return S_OK;
    }
    HResult AdvanceFrame(float now) override {
        calls.push_back("advance");
        nows.push_back(now);
        ticks.push_back(TickCountMs());
        leftHeld.push_back(Input().IsKeyHeld(VK_LEFT));
        cursors.push_back(Input().CursorPosition());
        if (onFrame) onFrame(*this, nows.size() - 1);
        return S_OK;
    }
    HResult RenderFrame() override {
        calls.push_back("render");
        return Device()->Clear(ClearTarget | ClearDepth, clearColour, 1);
    }
    int64_t HandleMessage(const Message& message) override {
        messages.push_back(message);
        return DefaultHandleMessage(message);
    }
    bool FindActionCentre(const std::string& action, Point& centre) override {
        if (action != "procKnown") return false;
        centre = {123, 45};
        return true;
    }
    Json StateJson() override { return {{"frames", nows.size()}}; }
};

std::filesystem::path TempFile(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("kelvane-fw-" + std::to_string(::getpid()) + "-" + name);
}

std::string WriteTemp(const std::string& name, const std::string& text) {
    std::filesystem::path path = TempFile(name);
    std::ofstream(path) << text;
    return path.string();
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

RunOptions Headless(int64_t frames) {
    RunOptions options;
    options.headless = true;
    options.frames = frames;
    return options;
}

}  // namespace

TEST(RunOptionsParsing, AcceptsEveryOption) {
    std::string error;
    std::optional<RunOptions> options = Parse({"--headless",   "--fps",        "30",
                                               "--seed=7",     "--frames",     "90",
                                               "--script",     "in.txt",       "--dump",
                                               "d.json",       "--trace",      "t.jsonl",
                                               "--screenshot", "10:a.png",     "--screenshot=20:b/c.PNG",
                                               "--dump",       "5:early.json", "--dump=12:sub/late.json",
                                               "--trace-text", "--size",       "1920x1080"},
                                              error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->headless);
    EXPECT_FLOAT_EQ(options->fps, 30);
    EXPECT_EQ(options->seed, 7u);
    EXPECT_EQ(options->frames, 90);
    EXPECT_EQ(options->scriptFile, "in.txt");
    EXPECT_EQ(options->dumpFile, "d.json");
    EXPECT_EQ(options->traceFile, "t.jsonl");
    ASSERT_EQ(options->screenshots.size(), 2u);
    EXPECT_EQ(options->screenshots[1], (std::pair<int64_t, std::string>{20, "b/c.PNG"}));
    EXPECT_EQ(options->frameDumps,
              (std::vector<std::pair<int64_t, std::string>>{{5, "early.json"}, {12, "sub/late.json"}}));
    EXPECT_TRUE(options->traceText);
    EXPECT_EQ(options->width, 1920);
    EXPECT_EQ(options->height, 1080);
    EXPECT_EQ(Parse({"--size=1280X1024"}, error)->height, 1024);

    options = Parse({}, error);
    ASSERT_TRUE(options);
    EXPECT_FALSE(options->headless);
    EXPECT_FLOAT_EQ(options->fps, 60);
    EXPECT_FALSE(options->frames || options->seconds || options->seed);
    EXPECT_EQ(options->width, 0);

    options = Parse({"--record", "me.txt", "--seconds", "2.5", "--game-dir", "games/mine"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->recordFile, "me.txt");
    EXPECT_EQ(options->gameDir, "games/mine");
    EXPECT_DOUBLE_EQ(*options->seconds, 2.5);
    EXPECT_TRUE(Parse({"--help"}, error)->help);
    EXPECT_NE(RunOptionsUsage().find("--screenshot FRAME:FILE.png"), std::string::npos);
}

TEST(RunOptionsParsing, RejectsBadOptionsWithAReason) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "unknown option \"--bogus\""},
        {{"level3"}, "unknown option"},
        {{"--fps"}, "--fps needs a value"},
        {{"--fps", "0"}, "--fps takes"},
        {{"--fps", "abc"}, "--fps takes"},
        {{"--fps", "nan"}, "--fps takes"},
        {{"--fps", "30x"}, "--fps takes"},
        {{"--seed", "-1"}, "--seed takes"},
        {{"--seed", "4294967296"}, "--seed takes"},
        {{"--frames", "1.5"}, "--frames takes"},
        {{"--frames", "-3"}, "--frames takes"},
        {{"--seconds", "inf"}, "--seconds takes"},
        {{"--frames", "5", "--seconds", "1"}, "only one of them"},
        {{"--screenshot", "5"}, "--screenshot takes FRAME:FILE.png"},
        {{"--screenshot", "x:a.png"}, "--screenshot takes FRAME:FILE.png"},
        {{"--screenshot", "5:a.bmp"}, "must end in .png"},
        {{"--headless", "--record", "r.txt"}, "--record"},
        {{"--headless=yes"}, "takes no value"},
        {{"--dump="}, "--dump needs a value"},
        {{"--dump", "4:"}, "--dump takes FRAME:FILE"},
        {{"--trace-text"}, "give --trace FILE too"},
        {{"--game-dir"}, "--game-dir needs a value"},
        {{"--size", "1920"}, "--size takes WIDTHxHEIGHT"},
        {{"--size", "1920x"}, "--size takes WIDTHxHEIGHT"},
        {{"--size", "x1080"}, "--size takes WIDTHxHEIGHT"},
        {{"--size", "8x8"}, "--size takes WIDTHxHEIGHT"},
        {{"--size", "100000x600"}, "--size takes WIDTHxHEIGHT"},
        {{"--size", "-800x600"}, "--size takes WIDTHxHEIGHT"},
        {{"--size", "800x600x2"}, "--size takes WIDTHxHEIGHT"},
    };
    for (const auto& [args, expected] : cases) {
        std::string error;
        EXPECT_FALSE(Parse(args, error)) << args[0];
        EXPECT_NE(error.find(expected), std::string::npos) << args[0] << " -> " << error;
    }
}

TEST(RunOptionsParsing, TheManualListsEveryOption) {
    const char* source = std::getenv("KELVANE_SOURCE_DIR");
    std::ifstream in(std::string(source && *source ? source : KELVANE_SOURCE_DIR_DEFAULT) +
                     "/packaging/kelvane.6");
    const std::string manual((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(manual.empty());
    const std::string usage = RunOptionsUsage();
    int options = 0;
    for (size_t at = usage.find("  --"); at != std::string::npos; at = usage.find("  --", at + 1)) {
        const size_t end = usage.find_first_of(" \n", at + 2);
        std::string option = usage.substr(at + 2, end - at - 2);
        // The manual writes each dash as "\-".
        std::string inManual;
        for (char c : option) inManual += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(manual.find(inManual), std::string::npos) << option << " is missing from the manual";
        ++options;
    }
    EXPECT_GE(options, 14);
}

TEST(HeadlessRun, HooksInOrderOnTheVirtualClock) {
    ProbeApp app;
    std::vector<std::string> notices;
    SetPlatformNoticeHandler([&](const std::string& text) {
        app.calls.push_back("notice");
        notices.push_back(text);
    });
    // At frame 1 the game asks for the full-screen switch, as its options screen does.
    app.onFrame = [](ProbeApp& a, size_t frame) {
        if (frame == 1) a.PostCommand(CommandToggleFullScreen);
    };
    bool windowedBefore = app.IsWindowed();
    EXPECT_EQ(app.Run(Headless(4)), 0);
    SetPlatformNoticeHandler(nullptr);

    // Notices raised during start-up wait until the game's InitApplication has opened its log.
    ASSERT_GE(app.calls.size(), 2u);
    EXPECT_EQ(app.calls[0], "init");
    EXPECT_EQ(app.calls[1], "notice");
    ASSERT_FALSE(notices.empty());
    EXPECT_NE(notices[0].find("headless"), std::string::npos);
    std::vector<std::string> hooks;
    for (const std::string& call : app.calls) {
        if (call != "notice") hooks.push_back(call);
    }
    const std::vector<std::string> expected = {"init",    "create",  "advance", "render",  "advance",
                                               "render",  "release", "create",  "advance", "render",
                                               "advance", "render",  "release", "shutdown"};
    EXPECT_EQ(hooks, expected);
    // The switch either happened or was refused with a notice; either way the flag tells the truth.
    bool refused = std::any_of(notices.begin(), notices.end(),
                               [](const std::string& n) { return n.find("refused") != std::string::npos; });
    EXPECT_EQ(app.IsWindowed(), refused ? windowedBefore : !windowedBefore);

    ASSERT_EQ(app.nows.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(app.nows[k], static_cast<float>(k) / 60.0f);
        EXPECT_EQ(app.ticks[k], static_cast<uint32_t>(k * 1000 / 60));
    }
    EXPECT_TRUE(IsClockVirtual());
    // Outside a run there is no window and no device.
    EXPECT_EQ(app.Device(), nullptr);
    EXPECT_EQ(app.MainWindow(), nullptr);
}

TEST(HeadlessRun, SecondsAndCloseEndTheRun) {
    ProbeApp timed;
    RunOptions options;
    options.headless = true;
    options.fps = 20;
    options.seconds = 0.25;
    EXPECT_EQ(timed.Run(options), 0);
    EXPECT_EQ(timed.nows.size(), 5u);
    EXPECT_FLOAT_EQ(timed.nows.back(), 0.2f);

    ProbeApp closing;
    closing.onFrame = [](ProbeApp& a, size_t frame) {
        if (frame == 2) a.PostClose();
    };
    std::string trace = TempFile("close.jsonl").string();
    options = Headless(100);
    options.traceFile = trace;
    EXPECT_EQ(closing.Run(options), 0);
    // The close is handled at the next pump: frame 3 is never advanced.
    EXPECT_EQ(closing.nows.size(), 3u);
    EXPECT_EQ(closing.calls.back(), "shutdown");
    std::vector<std::string> lines = Lines(trace);
    std::filesystem::remove(trace);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "{\"frame\":3,\"t\":0.05,\"event\":\"close\"}");
}

TEST(HeadlessRun, ScriptDrivesKeysAndPointer) {
    std::string script =
        WriteTemp("input.txt", "key down Left\nwait 2\nclick procKnown\nkey up Left\nwait 1\n");
    std::string trace = TempFile("trace.jsonl").string();
    std::string dump = TempFile("dump.json").string();
    ProbeApp app;
    app.onFrame = [](ProbeApp&, size_t frame) { TraceEvent("probe", {{"k", frame}}); };
    RunOptions options;
    options.headless = true;
    options.scriptFile = script;
    options.traceFile = trace;
    options.dumpFile = dump;
    EXPECT_EQ(app.Run(options), 0);

    // The script reaches frame 3, so frames 0 to 3 run.
    EXPECT_EQ(app.leftHeld, (std::vector<bool>{true, true, false, false}));
    ASSERT_EQ(app.cursors.size(), 4u);
    EXPECT_EQ(app.cursors[1].x, 0);
    EXPECT_EQ(app.cursors[2].x, 123);
    EXPECT_EQ(app.cursors[2].y, 45);
    std::vector<uint32_t> ids;
    for (const Message& m : app.messages) ids.push_back(m.id);
    EXPECT_EQ(ids, (std::vector<uint32_t>{WM_KEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_KEYUP}));

    std::vector<std::string> lines = Lines(trace);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "{\"frame\":0,\"t\":0,\"event\":\"probe\",\"k\":0}");
    EXPECT_EQ(lines[2].rfind("{\"frame\":2,\"t\":0.0333", 0), 0u);
    EXPECT_EQ(lines[4].rfind("{\"frame\":4,\"t\":0.0666", 0), 0u) << lines[4];
    EXPECT_NE(lines[4].find(",\"event\":\"frame-limit\",\"frames\":4}"), std::string::npos) << lines[4];
    EXPECT_EQ(Lines(dump), (std::vector<std::string>{"{\"frames\":4}"}));
    for (const std::string& file : {script, trace, dump}) std::filesystem::remove(file);
    // Outside a run, tracing does nothing.
    TraceEvent("ignored");
}

TEST(HeadlessRun, ScriptErrorsStopTheRun) {
    std::string bad = WriteTemp("bad.txt", "wait 1\nkey down Nowhere\n");
    ProbeApp parsed;
    RunOptions options = Headless(10);
    options.scriptFile = bad;
    testing::internal::CaptureStderr();
    EXPECT_EQ(parsed.Run(options), 2);
    std::string stderrText = testing::internal::GetCapturedStderr();
    EXPECT_NE(stderrText.find("script:2: unknown key \"Nowhere\""), std::string::npos) << stderrText;
    // A bad line stops the run before anything starts.
    EXPECT_TRUE(parsed.calls.empty());

    std::string missing = WriteTemp("missing.txt", "wait 1\n\nclick procGone\nwait 5\n");
    ProbeApp clicked;
    options.scriptFile = missing;
    testing::internal::CaptureStderr();
    EXPECT_EQ(clicked.Run(options), 2);
    stderrText = testing::internal::GetCapturedStderr();
    EXPECT_NE(stderrText.find("script:3: no widget with the action \"procGone\""), std::string::npos)
        << stderrText;
    // The run had started: it ends cleanly after frame 0.
    EXPECT_EQ(clicked.nows.size(), 1u);
    EXPECT_EQ(clicked.calls.back(), "shutdown");
    std::filesystem::remove(bad);
    std::filesystem::remove(missing);
}

// Outputs that cannot be written make a run that otherwise went well end with 3, not with success.
TEST(HeadlessRun, UnwrittenOutputsAreNotASuccess) {
    const std::string nowhere = "/nonexistent-kelvane-dir/out";
    struct Case {
        const char* what;
        std::function<void(RunOptions&)> set;
        const char* message;
    };
    const Case cases[] = {
        {"screenshot",
         [&](RunOptions& o) {
             o.screenshots = {{1, nowhere + ".png"}};
         },
         "could not be written"},
        {"dump", [&](RunOptions& o) { o.dumpFile = nowhere + ".json"; }, "cannot write the state dump"},
        // A full disk shows only when the written buffer is flushed.
        {"dump on a full disk", [](RunOptions& o) { o.dumpFile = "/dev/full"; },
         "cannot write the state dump"},
        {"dump of a frame never reached",
         [&](RunOptions& o) {
             o.frameDumps = {{7, TempFile("late.json").string()}};
         },
         "was not written: the run ended before frame 7"},
        {"trace", [](RunOptions& o) { o.traceFile = "/dev/full"; }, "could not be written in full"},
        {"screenshot on a full disk",
         [](RunOptions& o) {
             o.screenshots = {{1, "/dev/full"}};
         },
         "could not be written"},
        {"screenshot into a pipe nobody reads",
         [](RunOptions& o) {
             const std::string pipe = TempFile("shot-pipe").string();
             std::filesystem::remove(pipe);
             mkfifo(pipe.c_str(), 0600);
             o.screenshots = {{1, pipe}};
         },
         "could not be written"},
        {"recording on a full disk", [](RunOptions& o) { o.recordFile = "/dev/full"; },
         "the recording /dev/full could not be written in full"},
    };
    for (const Case& c : cases) {
        ProbeApp app;
        app.onFrame = [](ProbeApp&, size_t) { TraceEvent("probe", {{"text", std::string(64, 'x')}}); };
        RunOptions options = Headless(3);
        c.set(options);
        testing::internal::CaptureStderr();
        EXPECT_EQ(app.Run(options), 3) << c.what;
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_NE(stderrText.find(c.message), std::string::npos) << c.what << ": " << stderrText;
    }
}

TEST(HeadlessRun, DumpsShowTheStateAfterTheirFrame) {
    const std::string early = TempFile("early.json").string(), late = TempFile("late.json").string(),
                      final = TempFile("final.json").string();
    ProbeApp app;
    RunOptions options = Headless(5);
    options.frameDumps = {{0, early}, {3, late}};
    options.dumpFile = final;
    EXPECT_EQ(app.Run(options), 0);
    EXPECT_EQ(Lines(early), (std::vector<std::string>{"{\"frames\":1}"}));
    EXPECT_EQ(Lines(late), (std::vector<std::string>{"{\"frames\":4}"}));
    EXPECT_EQ(Lines(final), (std::vector<std::string>{"{\"frames\":5}"}));
    for (const std::string& file : {early, late, final}) std::filesystem::remove(file);
}

TEST(HeadlessRun, ScreenshotShowsTheDrawnFrame) {
    std::string first = TempFile("shot1.png").string(), second = TempFile("shot2.png").string();
    ProbeApp app;
    app.onFrame = [](ProbeApp& a, size_t frame) { a.clearColour = frame == 2 ? 0xFF10E020 : 0xFF3366CC; };
    RunOptions options = Headless(3);
    options.screenshots = {{1, first}, {2, second}, {9, TempFile("never.png").string()}};
    testing::internal::CaptureStderr();
    EXPECT_EQ(app.Run(options), 3);  // the run went well, but one of its pictures is missing
    std::string stderrText = testing::internal::GetCapturedStderr();
    EXPECT_NE(stderrText.find("never.png was not taken"), std::string::npos);

    struct Expect {
        std::string file;
        uint8_t r, g, b;
    };
    for (const Expect& e : {Expect{first, 0x33, 0x66, 0xCC}, Expect{second, 0x10, 0xE0, 0x20}}) {
        Image image;
        std::string error;
        ASSERT_TRUE(LoadImageFile(e.file, image, error)) << error;
        EXPECT_EQ(image.width, 320);
        EXPECT_EQ(image.height, 200);
        for (size_t pixel : {size_t{0}, size_t{320 * 100 + 160}, size_t{320 * 200 - 1}}) {
            EXPECT_EQ(image.rgba[pixel * 4 + 0], e.r);
            EXPECT_EQ(image.rgba[pixel * 4 + 1], e.g);
            EXPECT_EQ(image.rgba[pixel * 4 + 2], e.b);
            EXPECT_EQ(image.rgba[pixel * 4 + 3], 255);
        }
        std::filesystem::remove(e.file);
    }
}

TEST(HeadlessRun, FailedStartUpsEndWithExitCodeOne) {
    ProbeApp initFails;
    initFails.initResult = E_FAIL;
    testing::internal::CaptureStderr();
    EXPECT_EQ(initFails.Run(Headless(5)), 1);
    std::string stderrText = testing::internal::GetCapturedStderr();
    // The message box of a headless run goes to standard error, captioned with the window title.
    EXPECT_NE(stderrText.find("Probe: The game could not start"), std::string::npos) << stderrText;
    EXPECT_EQ(initFails.calls, (std::vector<std::string>{"init"}));

    ProbeApp createFails;
    createFails.createResult = E_FAIL;
    testing::internal::CaptureStderr();
    EXPECT_EQ(createFails.Run(Headless(5)), 1);
    testing::internal::GetCapturedStderr();
    // What was loaded is released again.
    EXPECT_EQ(createFails.calls, (std::vector<std::string>{"init", "create", "release", "shutdown"}));

    ProbeApp help;
    RunOptions options;
    options.help = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(help.Run(options), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("--headless"), std::string::npos);
    EXPECT_TRUE(help.calls.empty());
}

TEST(HeadlessRun, ResizeRebuildsTheDeviceOnlyForARealChange) {
    ProbeApp app;
    app.onFrame = [](ProbeApp& a, size_t frame) {
        // The same size again (as windows report on showing) changes nothing.
        if (frame == 0) a.DefaultHandleMessage({WM_SIZE, 0, 0});
    };
    EXPECT_EQ(app.Run(Headless(2)), 0);
    EXPECT_EQ(std::count(app.calls.begin(), app.calls.end(), "create"), 1);
}

TEST(WindowedRun, WithoutADisplayPointsToHeadless) {
    // Save and clear everything that could give SDL a display.
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        unsetenv(name);
    }
    ProbeApp app;
    RunOptions options;
    options.frames = 1;
    testing::internal::CaptureStderr();
    int code = app.Run(options);
    std::string stderrText = testing::internal::GetCapturedStderr();
    for (const auto& [name, value] : saved) {
        if (value) setenv(name.c_str(), value->c_str(), 1);
    }
    EXPECT_EQ(code, 1);
    EXPECT_NE(stderrText.find("There is no display"), std::string::npos) << stderrText;
    EXPECT_NE(stderrText.find("--headless"), std::string::npos);
    // Nothing of the game ran, so no log session was started for nothing.
    EXPECT_TRUE(app.calls.empty());
}

TEST(WindowedRun, AStaleDisplayPointsToHeadlessInsteadOfAnUnseenWindow) {
    // DISPLAY names a server that does not run: SDL would fall back to a driver without a screen.
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        unsetenv(name);
    }
    setenv("DISPLAY", ":4242", 1);
    ProbeApp app;
    RunOptions options;
    options.frames = 1;
    testing::internal::CaptureStderr();
    const int code = app.Run(options);
    const std::string stderrText = testing::internal::GetCapturedStderr();
    unsetenv("DISPLAY");
    for (const auto& [name, value] : saved) {
        if (value) setenv(name.c_str(), value->c_str(), 1);
    }
    EXPECT_EQ(code, 1);
    EXPECT_NE(stderrText.find("There is no display"), std::string::npos) << stderrText;
    EXPECT_NE(stderrText.find("DISPLAY=\":4242\""), std::string::npos) << stderrText;
    EXPECT_TRUE(app.calls.empty()) << "nothing of the game ran";
}

TEST(WindowedRun, StartsFullScreenOrSaysWhyNot) {
    // A windowed run on the offscreen driver: a real loop on the real clock, ended by a frame count.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ProbeApp app;
    app.SetWindowed(false);
    std::vector<std::string> notices;
    SetPlatformNoticeHandler([&](const std::string& text) { notices.push_back(text); });
    std::string record = TempFile("record.txt").string();
    RunOptions options;
    options.frames = 3;
    options.recordFile = record;
    EXPECT_EQ(app.Run(options), 0);
    SetPlatformNoticeHandler(nullptr);
    bool refused = std::any_of(notices.begin(), notices.end(), [](const std::string& n) {
        return n.find("full screen was refused") != std::string::npos;
    });
    EXPECT_EQ(app.IsWindowed(), refused);
    EXPECT_EQ(app.nows.size(), 3u);
    EXPECT_TRUE(std::is_sorted(app.nows.begin(), app.nows.end()));
    // The recording of a run without input is a valid, empty script.
    std::string error;
    std::optional<Script> script = LoadScript(record, error);
    std::filesystem::remove(record);
    ASSERT_TRUE(script) << error;
    EXPECT_TRUE(script->events.empty());
}

// A window of another shape than the game's, headless (--size) or not: the picture keeps the game's
// shape in the middle with dark bars beside it, the game lays itself out in the picture's size, and a
// windowed run hands it the pointer's window positions in the picture's pixels.
TEST(WindowedRun, TheGameSeesItsPictureInAWindowOfAnyShape) {
    class FramedApp : public ProbeApp {
    public:
        std::vector<Point> clientSizes;
        HResult RenderFrame() override {
            clientSizes.push_back({MainWindow()->ClientWidth(), MainWindow()->ClientHeight()});
            Device()->BeginScene();
            const HResult cleared = Device()->Clear(ClearTarget | ClearDepth, clearColour, 1);
            Device()->EndScene();
            return cleared;
        }
    };
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    for (const bool headless : {true, false}) {
        FramedApp app;  // made for 320 x 200
        app.onFrame = [](ProbeApp&, size_t frame) {
            if (frame != 1) return;
            for (const Point at : {Point{170, 20}, Point{100, 50}}) {
                SDL_Event motion{};
                motion.type = SDL_MOUSEMOTION;
                motion.motion.x = at.x;
                motion.motion.y = at.y;
                SDL_PushEvent(&motion);
            }
        };
        const std::string shot = TempFile("framed.png").string();
        RunOptions options;
        options.headless = headless;
        options.frames = 4;
        options.width = 640;
        options.height = 200;
        options.screenshots = {{3, shot}};
        ASSERT_EQ(app.Run(options), 0) << headless;
        ASSERT_FALSE(app.clientSizes.empty());
        EXPECT_EQ(app.clientSizes.back().x, 320) << headless;
        EXPECT_EQ(app.clientSizes.back().y, 200) << headless;

        Image image;
        std::string error;
        ASSERT_TRUE(LoadImageFile(shot, image, error)) << error;
        std::filesystem::remove(shot);
        ASSERT_EQ(image.width, 640);
        ASSERT_EQ(image.height, 200);
        auto red = [&image](int x, int y) { return image.rgba[(size_t(y) * 640 + size_t(x)) * 4]; };
        for (const int x : {0, 159, 480, 639})
            EXPECT_EQ(red(x, 100), 0) << "bar at " << x << ", " << headless;
        for (const int x : {160, 320, 479})
            EXPECT_EQ(red(x, 100), 0x33) << "picture at " << x << ", " << headless;

        std::vector<Point> moves;
        for (const Message& message : app.messages)
            if (message.id == WM_MOUSEMOVE) moves.push_back(LParamPoint(message.lParam));
        if (headless) {
            EXPECT_TRUE(moves.empty());  // a headless run takes its input from the script alone
            continue;
        }
        ASSERT_EQ(moves.size(), 2u);
        EXPECT_EQ(moves[0].x, 10);
        EXPECT_EQ(moves[0].y, 20);
        EXPECT_EQ(moves[1].x, -60);  // over the left bar
        EXPECT_EQ(moves[1].y, 50);
    }
}

TEST(HeadlessRun, PresentNowShowsASplashBeforeTheFirstFrame) {
    // The splash drawn and shown inside CreateDeviceObjects must not disturb the frames after it.
    class SplashApp : public ProbeApp {
    public:
        HResult CreateDeviceObjects() override {
            ProbeApp::CreateDeviceObjects();
            Device()->BeginScene();
            Device()->Clear(ClearTarget, 0xFFFF0000, 1);
            Device()->EndScene();
            PresentNow();
            return S_OK;
        }
    };
    std::string shot = TempFile("after-splash.png").string();
    SplashApp app;
    RunOptions options = Headless(1);
    options.screenshots = {{0, shot}};
    EXPECT_EQ(app.Run(options), 0);
    Image image;
    std::string error;
    ASSERT_TRUE(LoadImageFile(shot, image, error)) << error;
    EXPECT_EQ(image.rgba[0], 0x33);
    EXPECT_EQ(image.rgba[2], 0xCC);
    std::filesystem::remove(shot);
    app.PresentNow();  // outside a run: nothing to show, no crash
}
