#include "shell/framework.h"

#include <SDL.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

#include "base/clock.h"
#include "base/paths.h"
#include "device/gl_window.h"
#include "device/image_write.h"
#include "headless/trace.h"
#include "shell/input.h"

namespace {

// Exit codes: a failed start-up (or a device that cannot be rebuilt) is 1, a bad command line or
// script is 2, a run that went well but could not write all of its screenshots, dumps or trace is 3.
constexpr int ExitStartFailed = HeadlessRunner::ExitStartFailed;
constexpr int ExitBadInput = HeadlessRunner::ExitBadInput;
constexpr int ExitOutputFailed = HeadlessRunner::ExitOutputFailed;
// A headless run with nothing to end it stops after this much virtual time.
constexpr double SafetyLimitSeconds = 600;
// This many failed frames in a row end the run: the device is not coming back.
constexpr int MaxFailedFramesInARow = 300;
// A window being dragged or resized reports many sizes and places in a row. The device objects are
// made again, and the place remembered, once it has rested this long.
constexpr uint32_t WindowSettleMs = 300;

std::string FloatText(float value) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    if (ec != std::errc()) return "0";
    return std::string(text, end);
}

std::string HexResult(HResult result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(result));
    return text;
}

class WindowView final : public Window {
public:
    GlWindow* window = nullptr;
    int ClientWidth() const override { return window ? window->ClientWidth() : 0; }
    int ClientHeight() const override { return window ? window->ClientHeight() : 0; }
};

// Keyboard and mouse as the messages told them, and the game controllers beside them.
class FrameworkInput final : public InputState {
public:
    KeyStateTracker keys;
    GamepadMapper pads;
    bool IsKeyHeld(int virtualKey) const override { return keys.IsKeyHeld(virtualKey); }
    bool IsPadButtonHeld(int button) const override {
        return keys.IsPadButtonHeld(button) || pads.IsButtonHeld(button);
    }
    bool IsLeftButtonDown() const override { return keys.IsLeftButtonDown(); }
    Point CursorPosition() const override { return keys.CursorPosition(); }
};

}  // namespace

struct Application::Impl {
    RunOptions options;
    std::unique_ptr<GlWindow> window;
    WindowView windowView;
    FrameworkInput input;
    std::deque<Message> posted;
    std::map<SDL_JoystickID, SDL_GameController*> controllers;
    bool controllersEnabled = false;
    ScriptRecorder recorder;
    HeadlessRunner runner;
    RunnerGame* runnerGame = nullptr;

    bool running = false;
    bool loopRan = false;
    bool active = true;
    int exitCode = 0;
    int64_t frame = 0;
    float now = 0;
    uint32_t startMs = 0;
    int lastWidth = 0, lastHeight = 0;
    bool deviceObjectsCreated = false;
    // A size change waiting for the window to settle before the device objects are made again, and a
    // move or resize not yet reported to the game; with the time of the last such event.
    bool rebuildPending = false;
    bool placementPending = false;
    uint32_t lastWindowEventMs = 0;
    PixelRect reportedPlacement{};
};

// The framework's own steps, kept out of the public class.
struct FrameworkAccess {
    static double ScriptFps(const Application::Impl& impl) {
        return impl.options.fps > 0 ? impl.options.fps : 60;
    }

    static void Dispatch(Application& app, const Message& message, bool fromPlayer, bool trackKeys = true) {
        Application::Impl& impl = *app.impl;
        if (trackKeys) impl.input.keys.Apply(message);
        if (fromPlayer && impl.recorder.IsOpen() &&
            !impl.recorder.Record(message, TickCountMs() - impl.startMs)) {
            ReportPlatformNotice(
                "the recording reached the size a script may have; the rest of the input is not recorded");
        }
        app.HandleMessage(message);
        if (message.id == WM_KILLFOCUS) {
            // Pads do not report while the window is in the background: let go of what they held.
            std::vector<Message> releases;
            impl.input.pads.ReleaseAll(releases);
            for (const Message& release : releases) {
                if (!impl.running) break;
                if (impl.recorder.IsOpen()) impl.recorder.Record(release, TickCountMs() - impl.startMs);
                app.HandleMessage(release);
            }
        }
    }

    static void OpenController(Application::Impl& impl, int deviceIndex) {
        if (!impl.controllersEnabled || !SDL_IsGameController(deviceIndex)) return;
        SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
        if (!controller) {
            ReportPlatformNotice(std::string("a game controller could not be opened: ") + SDL_GetError());
            return;
        }
        SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
        if (impl.controllers.count(id)) {
            SDL_GameControllerClose(controller);  // already open (announced twice)
            return;
        }
        impl.controllers[id] = controller;
        const char* name = SDL_GameControllerName(controller);
        ReportPlatformNotice(std::string("game controller connected: ") + (name ? name : "unnamed"));
    }

    static void CloseController(Application::Impl& impl, SDL_JoystickID id) {
        auto found = impl.controllers.find(id);
        if (found == impl.controllers.end()) return;
        SDL_GameControllerClose(found->second);
        impl.controllers.erase(found);
    }

    // One turn of the message pump: posted messages, the window's events, this frame's script lines.
    static void Pump(Application& app) {
        Application::Impl& impl = *app.impl;
        std::deque<Message> posted;
        posted.swap(impl.posted);  // what is posted while handling these waits for the next turn
        for (const Message& message : posted) {
            if (!impl.running) return;
            Dispatch(app, message, false);
        }

        std::vector<Message> messages;
        SDL_Event event;
        bool wait = !impl.active && !impl.options.headless;
        while (impl.running && (wait ? SDL_WaitEvent(&event) == 1 : SDL_PollEvent(&event) == 1)) {
            wait = false;
            messages.clear();
            if (event.type == SDL_WINDOWEVENT && !impl.options.headless) {
                if (event.window.event == SDL_WINDOWEVENT_MOVED ||
                    event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                    impl.placementPending = true;
                    impl.lastWindowEventMs = TickCountMs();
                }
                switch (event.window.event) {
                    case SDL_WINDOWEVENT_MINIMIZED:
                    case SDL_WINDOWEVENT_HIDDEN:
                        impl.active = false;
                        break;
                    case SDL_WINDOWEVENT_RESTORED:
                    case SDL_WINDOWEVENT_MAXIMIZED:
                    case SDL_WINDOWEVENT_SHOWN:
                    case SDL_WINDOWEVENT_EXPOSED:
                        impl.active = true;
                        break;
                    default:
                        break;
                }
            }
            if (event.type == SDL_CONTROLLERDEVICEADDED) OpenController(impl, event.cdevice.which);
            if (impl.input.pads.HandleEvent(event, TickCountMs(), messages)) {
                if (event.type == SDL_CONTROLLERDEVICEREMOVED) CloseController(impl, event.cdevice.which);
                for (const Message& message : messages) {
                    if (!impl.running) return;
                    Dispatch(app, message, true, false);
                }
                continue;
            }
            // Headless runs take their input from the script alone; only a close (an interrupt) counts.
            TranslateEvent(event, messages, PointerMappingOf(impl));
            for (const Message& message : messages) {
                if (!impl.running) return;
                if (impl.options.headless && message.id != WM_CLOSE) continue;
                Dispatch(app, message, true);
            }
        }

        messages.clear();
        impl.input.pads.Update(TickCountMs(), messages);
        for (const Message& message : messages) {
            if (!impl.running) return;
            Dispatch(app, message, true, false);
        }

        if (!impl.runner.HasScript()) return;
        // Headless, a script's frames are the virtual clock's; in a window they are real time at the
        // script's frame rate, as the recorder wrote them, whatever the screen's refresh.
        const int64_t scriptFrame =
            impl.options.headless
                ? impl.frame
                : static_cast<int64_t>(std::floor(static_cast<double>(TickCountMs() - impl.startMs) *
                                                  ScriptFps(impl) / 1000.0));
        std::string error;
        const bool played = impl.runner.PlayScript(
            scriptFrame, impl.frame, impl.runnerGame, [&impl] { return impl.input.keys.CursorPosition(); },
            [&app, &impl](const Message& message) {
                if (!impl.running) return false;
                Dispatch(app, message, false);
                return impl.running;
            },
            error);
        if (!played) {
            std::fprintf(stderr, "%s\n", error.c_str());
            impl.exitCode = ExitBadInput;
            impl.running = false;
        }
    }

    // Where the window's pointer positions land in the game's picture.
    static PointerMapping PointerMappingOf(const Application::Impl& impl) {
        PointerMapping mapping;
        if (!impl.window) return mapping;
        int width = 0, height = 0;
        SDL_GetWindowSize(impl.window->Handle(), &width, &height);
        mapping.window = {width, height};
        mapping.drawable = impl.window->DrawableSize();
        mapping.picture = impl.window->Picture();
        return mapping;
    }

    // The window's size changed: the picture follows at once; the device objects are made again when
    // the picture's size has changed and the window has settled (at once in a headless run).
    static void FollowWindowSize(Application& app) {
        Application::Impl& impl = *app.impl;
        if (!impl.window) return;
        impl.window->OnResized();
        const int width = impl.window->ClientWidth(), height = impl.window->ClientHeight();
        impl.rebuildPending =
            width > 0 && height > 0 && (width != impl.lastWidth || height != impl.lastHeight);
        impl.lastWindowEventMs = TickCountMs();
        if (impl.rebuildPending && impl.options.headless) RebuildDevice(app, false);
    }

    // Between frames: what waits for the window to settle.
    static void AfterWindowSettled(Application& app) {
        Application::Impl& impl = *app.impl;
        if (!impl.rebuildPending && !impl.placementPending) return;
        if (TickCountMs() - impl.lastWindowEventMs < WindowSettleMs) return;
        if (impl.rebuildPending) RebuildDevice(app, false);
        ReportPlacement(app);
    }

    // Tells the game where the window now is, when it is a plain window and has moved or changed size.
    static void ReportPlacement(Application& app) {
        Application::Impl& impl = *app.impl;
        if (!impl.placementPending) return;
        impl.placementPending = false;
        PixelRect placement;
        if (impl.options.headless || !impl.window || !impl.window->WindowedPlacement(placement) ||
            placement == impl.reportedPlacement)
            return;
        impl.reportedPlacement = placement;
        app.WindowPlacementChanged(placement);
    }

    // Device objects around a new back buffer: release, follow the window, create again.
    static void RebuildDevice(Application& app, bool switchMode) {
        Application::Impl& impl = *app.impl;
        impl.rebuildPending = false;
        if (switchMode) ReportPlacement(app);  // where the window was, before full screen covers it
        if (impl.deviceObjectsCreated) app.ReleaseDeviceObjects();
        impl.deviceObjectsCreated = false;
        if (switchMode) {
            if (impl.window->SetFullScreen(app.windowed)) {
                app.windowed = !app.windowed;
            } else {
                ReportPlatformNotice(
                    app.windowed ? "full screen was refused; the game stays in its window"
                                 : "the switch back to a window was refused; the game stays full screen");
            }
        }
        impl.window->OnResized();
        impl.lastWidth = impl.window->ClientWidth();
        impl.lastHeight = impl.window->ClientHeight();
        HResult result = app.CreateDeviceObjects();
        impl.deviceObjectsCreated = true;
        if (Failed(result)) {
            app.ShowMessageBox(app.windowTitle,
                               "The game's device objects could not be created again (result " +
                                   HexResult(result) + "). The game has to end.");
            impl.exitCode = ExitStartFailed;
            impl.running = false;
        }
    }

    // A run that otherwise went well still tells its caller that an output is missing.
    static void OutputFailed(Application::Impl& impl) {
        if (impl.exitCode == 0) impl.exitCode = ExitOutputFailed;
    }

    static int Finish(Application& app, bool initDone) {
        Application::Impl& impl = *app.impl;
        // The outputs first, so that the final dump shows the game as its last frame left it.
        if (impl.loopRan && !impl.runner.WriteFinalOutputs(impl.frame, impl.runnerGame)) OutputFailed(impl);
        ReportPlacement(app);
        if (impl.deviceObjectsCreated) app.ReleaseDeviceObjects();
        impl.deviceObjectsCreated = false;
        if (initDone) app.ShutDown();
        for (auto& [id, controller] : impl.controllers) SDL_GameControllerClose(controller);
        impl.controllers.clear();
        if (!impl.recorder.Close()) {
            std::fprintf(stderr, "kelvane: the recording %s could not be written in full\n",
                         impl.options.recordFile.c_str());
            OutputFailed(impl);
        }
        impl.window.reset();
        impl.windowView.window = nullptr;
        impl.running = false;
        if (!impl.runner.Stop()) OutputFailed(impl);
        if (SDL_WasInit(0)) SDL_Quit();
        ReleasePlatformNotices();
        return impl.exitCode;
    }
};

Application::Application() : impl(std::make_unique<Impl>()) {}
Application::~Application() = default;

void Application::AttachRunnerGame(RunnerGame* game) {
    impl->runnerGame = game;
}

GraphicsDevice* Application::Device() const {
    return impl->window ? &impl->window->Device() : nullptr;
}
Window* Application::MainWindow() const {
    return impl->window ? &impl->windowView : nullptr;
}
const InputState& Application::Input() const {
    return impl->input;
}
const RunOptions& Application::Options() const {
    return impl->options;
}
bool Application::IsHeadless() const {
    return impl->options.headless;
}
void Application::PostCommand(uint32_t commandId) {
    impl->posted.push_back({WM_COMMAND, commandId, 0});
}
void Application::PostClose() {
    impl->posted.push_back({WM_CLOSE, 0, 0});
}
void Application::PresentNow() {
    if (impl->window) impl->window->Present();
}

void Application::ShowMessageBox(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    if (impl->options.headless) return;
    SDL_Window* parent = impl->window ? impl->window->Handle() : nullptr;
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption.c_str(), text.c_str(), parent);
}

int64_t Application::DefaultHandleMessage(const Message& message) {
    switch (message.id) {
        case WM_CLOSE:
            if (impl->running) TraceEvent("close");
            impl->running = false;
            return 0;
        case WM_SIZE:
            // The window reports its size more often than it changes (on showing, after a mode switch):
            // the device is rebuilt only for a real change of the picture, and never for a minimised,
            // empty area.
            if (impl->window && impl->running) FrameworkAccess::FollowWindowSize(*this);
            return 0;
        case WM_COMMAND:
            if ((message.wParam & 0xFFFF) == CommandToggleFullScreen && impl->window && impl->running) {
                FrameworkAccess::RebuildDevice(*this, true);
            }
            return 0;
        default:
            return 0;
    }
}

namespace {
// A game started from a desktop launcher may have no standard error: the first file it opens (app.log)
// would then take its place, and every library's complaint on stderr would land in the log. Point any
// missing standard stream at /dev/null first.
void OpenMissingStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        const int devNull = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (devNull >= 0 && devNull != fd) {
            dup2(devNull, fd);
            close(devNull);
        }
    }
}
}  // namespace

int Application::Run(const RunOptions& options) {
    OpenMissingStandardStreams();
    // Large blocks (decoded pictures on their way to the device, sound buffers) go to the system and
    // back as they come and go. Left to itself the C library raises that limit after the first such
    // block is freed, and later ones are carved out of the heap, where the holes they leave keep the
    // game's resident memory up for good (some 7 MB in a colour game).
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    impl->options = options;
    impl->exitCode = 0;
    impl->loopRan = false;
    impl->frame = 0;
    impl->now = 0;
    impl->active = true;
    impl->rebuildPending = impl->placementPending = false;
    impl->reportedPlacement = {};
    impl->posted.clear();
    impl->input = FrameworkInput{};
    if (options.help) {
        std::fputs(RunOptionsUsage().c_str(), stdout);
        return 0;
    }
    const bool headless = options.headless;
    const double fps = options.fps > 0 ? options.fps : 60;

    {
        std::string error;
        if (!impl->runner.Start(options, error)) {
            std::fprintf(stderr, "kelvane: %s\n", error.c_str());
            return ExitBadInput;
        }
    }
    // Until the game has opened its log, notices wait.
    StartHoldingPlatformNotices();
    if (headless) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ReportPlatformNotice("headless run: offscreen video, virtual clock at " +
                             FloatText(static_cast<float>(fps)) + " frames per second");
    } else {
        const char* display = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        const char* driver = std::getenv("SDL_VIDEODRIVER");
        bool chosenDriver = driver && *driver;
        if (!chosenDriver && (!display || !*display) && (!wayland || !*wayland)) {
            std::fprintf(stderr,
                         "There is no display to open the game window on. "
                         "Run the game with --headless to play it without one (see --help).\n");
            impl->exitCode = ExitStartFailed;
            return FrameworkAccess::Finish(*this, false);
        }
    }

    // The desktop matches the window to the program's desktop entry by this name (X11 window class,
    // Wayland application id); a name the player set in the environment wins.
    if (!headless && !applicationId.empty()) {
        setenv("SDL_VIDEO_X11_WMCLASS", applicationId.c_str(), 0);
        setenv("SDL_VIDEO_WAYLAND_WMCLASS", applicationId.c_str(), 0);
    }
    uint32_t flags = SDL_INIT_VIDEO | SDL_INIT_EVENTS;
    // A headless run is the same on every machine: a plugged-in pad must not change it.
    impl->controllersEnabled = false;
    if (!headless) {
        if (SDL_Init(flags | SDL_INIT_GAMECONTROLLER) == 0) {
            impl->controllersEnabled = true;
        } else {
            std::string reason = SDL_GetError();
            SDL_Quit();
            if (SDL_Init(flags) == 0) {
                ReportPlatformNotice("no game controller support (" + reason + "); keyboard and mouse only");
            } else {
                std::fprintf(stderr,
                             "There is no display to open the game window on (%s). "
                             "Run the game with --headless to play it without one (see --help).\n",
                             SDL_GetError());
                impl->exitCode = ExitStartFailed;
                return FrameworkAccess::Finish(*this, false);
            }
        }
        // A display that names no running server (a stale DISPLAY) makes SDL fall back to a video
        // driver without a screen, silently: the game would run unseen for ever. Only a driver the
        // player chose may be one of those.
        const char* driver = SDL_GetCurrentVideoDriver();
        const std::string driverName = driver ? driver : "";
        const char* chosen = std::getenv("SDL_VIDEODRIVER");
        if ((driverName == "offscreen" || driverName == "dummy") && !(chosen && *chosen)) {
            const char* display = std::getenv("DISPLAY");
            const char* wayland = std::getenv("WAYLAND_DISPLAY");
            std::fprintf(stderr,
                         "There is no display to open the game window on (no display answers at "
                         "DISPLAY=\"%s\" WAYLAND_DISPLAY=\"%s\"). "
                         "Run the game with --headless to play it without one (see --help).\n",
                         display ? display : "", wayland ? wayland : "");
            impl->exitCode = ExitStartFailed;
            return FrameworkAccess::Finish(*this, false);
        }
    } else if (SDL_Init(flags) != 0) {
        ShowMessageBox(windowTitle, std::string("The offscreen video could not start: ") + SDL_GetError());
        impl->exitCode = ExitStartFailed;
        return FrameworkAccess::Finish(*this, false);
    }

    // A headless run lives on the virtual clock from the start, so its log and timers replay exactly.
    if (headless) SetVirtualTickCount(0);
    // The run's random seed: --seed, or the system tick count times ten (0 on the virtual clock). Fixed
    // here so that a recording can name it and its replay deals the same pieces.
    if (!impl->options.seed) impl->options.seed = SystemTickCountMs() * 10;
    HResult result = InitApplication();
    ReleasePlatformNotices();
    if (Failed(result)) {
        ShowMessageBox(windowTitle, "The game could not start (result " + HexResult(result) + ").");
        impl->exitCode = ExitStartFailed;
        return FrameworkAccess::Finish(*this, false);
    }

    std::string error;
    GlWindowSettings settings;
    settings.title = windowTitle;
    settings.width = windowWidth;
    settings.height = windowHeight;
    settings.pictureShape = {windowWidth, windowHeight};
    settings.offscreen = headless;
    // A headless run is the same everywhere: its size is the game's own or --size, never a remembered one.
    if (!headless) {
        settings.resizable = true;
        settings.fitDisplay = true;
        settings.minimumSize = minimumWindowSize;
        if (rememberedWindowSize) {
            settings.width = rememberedWindowSize->width;
            settings.height = rememberedWindowSize->height;
        }
        settings.position = rememberedWindowPosition;
    }
    if (options.width > 0 && options.height > 0) {
        settings.width = options.width;
        settings.height = options.height;
        settings.fitDisplay = false;
    }
    settings.opensFullScreen = !windowed;
    impl->window = GlWindow::Create(settings, error);
    if (!impl->window) {
        ShowMessageBox(windowTitle, "The game window could not be opened: " + error);
        impl->exitCode = ExitStartFailed;
        return FrameworkAccess::Finish(*this, true);
    }
    impl->windowView.window = impl->window.get();
    if (!headless && !windowIcon.empty() && !impl->window->SetIcon(LocateGameFile(windowIcon), error)) {
        ReportPlatformNotice("the window's icon did not load: " + error);
    }
    if (!windowed) {
        if (!impl->window->SetFullScreen(true)) {
            windowed = true;
            ReportPlatformNotice("full screen was refused; the game starts in a window");
        }
    }
    impl->window->OnResized();
    impl->lastWidth = impl->window->ClientWidth();
    impl->lastHeight = impl->window->ClientHeight();
    SDL_StartTextInput();

    result = CreateDeviceObjects();
    impl->deviceObjectsCreated = true;
    if (Failed(result)) {
        ShowMessageBox(windowTitle,
                       "The game's device objects could not be created (result " + HexResult(result) + ").");
        impl->exitCode = ExitStartFailed;
        return FrameworkAccess::Finish(*this, true);
    }
    if (!options.recordFile.empty() &&
        !impl->recorder.Open(options.recordFile, static_cast<float>(fps), *impl->options.seed, error)) {
        std::fprintf(stderr, "kelvane: %s\n", error.c_str());
        ReportPlatformNotice(error + "; the input is not recorded");
        FrameworkAccess::OutputFailed(*impl);
    }

    // How the run ends: a frame count, a time, the script's end, or a close; headless runs always stop.
    std::optional<int64_t> frameLimit = options.frames;
    bool safetyLimit = false;
    if (!frameLimit && options.seconds && headless) {
        frameLimit = static_cast<int64_t>(std::ceil(*options.seconds * fps - 1e-9));
    }
    if (!frameLimit && headless) {
        if (impl->runner.HasScript()) {
            frameLimit = impl->runner.ScriptEndFrame() + 1;
        } else {
            frameLimit = static_cast<int64_t>(std::ceil(SafetyLimitSeconds * fps));
            safetyLimit = true;
        }
    }

    impl->running = true;
    impl->loopRan = true;
    impl->startMs = TickCountMs();
    int failedInARow = 0;
    while (impl->running) {
        if (headless) {
            // Wraps like a millisecond tick counter on very long or very slow runs.
            SetVirtualTickCount(static_cast<uint32_t>(
                static_cast<uint64_t>(static_cast<double>(impl->frame) * 1000.0 / fps)));
            impl->now = static_cast<float>(static_cast<double>(impl->frame) / fps);
        }
        SetTraceClock(impl->frame, impl->now);
        if (frameLimit && impl->frame >= *frameLimit) {
            TraceEvent("frame-limit", {{"frames", impl->frame}});
            if (safetyLimit) {
                ReportPlatformNotice(
                    "the headless run reached its limit of " + std::to_string(*frameLimit) +
                    " frames without a close; give --frames, --seconds or a script to end it");
            }
            break;
        }
        FrameworkAccess::Pump(*this);
        if (!impl->running) break;
        FrameworkAccess::AfterWindowSettled(*this);
        if (!impl->running) break;
        if (!impl->active) continue;
        if (!headless) {
            impl->now = static_cast<float>(TickCountMs() - impl->startMs) / 1000.0f;
            if (options.seconds && impl->now >= *options.seconds) {
                TraceEvent("frame-limit", {{"frames", impl->frame}});
                break;
            }
        }
        SetTraceClock(impl->frame, impl->now);
        AdvanceFrame(impl->now);
        result = RenderFrame();
        if (Failed(result)) {
            ++failedInARow;
            ReportPlatformNotice("a frame could not be drawn (result " + HexResult(result) +
                                 "); the game goes on");
            if (failedInARow >= MaxFailedFramesInARow) {
                ShowMessageBox(windowTitle,
                               "The game cannot draw any more (result " + HexResult(result) + ").");
                impl->exitCode = ExitStartFailed;
                break;
            }
        } else {
            failedInARow = 0;
        }
        impl->runner.AfterFrame(impl->frame, impl->window->Device(), impl->runnerGame);
        impl->window->Present();
        ++impl->frame;
    }
    impl->running = false;

    return FrameworkAccess::Finish(*this, true);
}
