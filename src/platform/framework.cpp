#include "platform/framework.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#include "platform/clock.h"
#include "platform/gl_window.h"
#include "platform/image_write.h"
#include "platform/input.h"
#include "platform/script.h"

namespace {

// Exit codes: a failed start-up (or a device that cannot be rebuilt) is 1, a bad command line or
// script is 2, a run that went well but could not write all of its screenshots, dump or trace is 3.
constexpr int ExitStartFailed = 1;
constexpr int ExitBadInput = 2;
constexpr int ExitOutputFailed = 3;
// A headless run with nothing to end it stops after this much virtual time.
constexpr double SafetyLimitSeconds = 600;
// This many failed frames in a row end the run: the device is not coming back.
constexpr int MaxFailedFramesInARow = 300;

// Notices of this run. The sets are guarded because the audio callback may raise a notice too.
std::mutex noticeMutex;
std::function<void(const std::string&)> noticeHandler;
std::set<std::string> noticesIssued;
std::vector<std::string> noticesHeld;
bool holdNotices = false;

void DeliverNotice(const std::string& text) {
    if (noticeHandler)
        noticeHandler(text);
    else
        std::fprintf(stderr, "kelvane: %s\n", text.c_str());
}

void ReleaseHeldNotices() {
    std::vector<std::string> held;
    {
        std::lock_guard<std::mutex> lock(noticeMutex);
        holdNotices = false;
        held.swap(noticesHeld);
    }
    for (const std::string& notice : held) DeliverNotice(notice);
}

// The --trace file of the running application.
std::FILE* traceFile = nullptr;
bool traceFailed = false;  // a line could not be written: the trace is incomplete
int64_t traceFrame = 0;
float traceNow = 0;

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

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

bool EndsWithPng(const std::string& name) {
    if (name.size() < 5) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".png";
}

bool ParseWhole(const std::string& text, int64_t lo, int64_t hi, int64_t& value) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= lo && value <= hi;
}

bool ParseReal(const std::string& text, double lo, double hi, double& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value) && value >= lo &&
           value <= hi;
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
    bool IsKeyHeld(int virtualKey) const override {
        return keys.IsKeyHeld(virtualKey) || pads.IsKeyHeld(virtualKey);
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
    std::optional<Script> script;
    size_t nextScriptEvent = 0;

    bool running = false;
    bool active = true;
    int exitCode = 0;
    int64_t frame = 0;
    float now = 0;
    uint32_t startMs = 0;
    int lastWidth = 0, lastHeight = 0;
    bool deviceObjectsCreated = false;
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
            TranslateEvent(event, messages);
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

        if (!impl.script) return;
        // Headless, a script's frames are the virtual clock's; in a window they are real time at the
        // script's frame rate, as the recorder wrote them, whatever the screen's refresh.
        const int64_t scriptFrame =
            impl.options.headless
                ? impl.frame
                : static_cast<int64_t>(std::floor(static_cast<double>(TickCountMs() - impl.startMs) *
                                                  ScriptFps(impl) / 1000.0));
        const std::vector<ScriptEvent>& events = impl.script->events;
        while (impl.running && impl.nextScriptEvent < events.size() &&
               events[impl.nextScriptEvent].frame <= scriptFrame) {
            const ScriptEvent& scripted = events[impl.nextScriptEvent++];
            Point centre;
            if (scripted.op == ScriptOp::ClickAction && !app.FindActionCentre(scripted.text, centre)) {
                std::fprintf(
                    stderr,
                    "script:%d: no widget with the action \"%s\" on the current screen at frame %lld\n",
                    scripted.line, scripted.text.c_str(), static_cast<long long>(impl.frame));
                impl.exitCode = ExitBadInput;
                impl.running = false;
                return;
            }
            messages.clear();
            ScriptEventMessages(scripted, impl.input.keys.CursorPosition(), centre, messages);
            for (const Message& message : messages) {
                if (!impl.running) return;
                Dispatch(app, message, false);
            }
        }
    }

    // Device objects around a new back buffer: release, follow the window, create again.
    static void RebuildDevice(Application& app, bool switchMode) {
        Application::Impl& impl = *app.impl;
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

    static void TakeScreenshots(Application& app) {
        Application::Impl& impl = *app.impl;
        for (const auto& [frame, file] : impl.options.screenshots) {
            if (frame != impl.frame) continue;
            std::vector<uint8_t> rgba;
            int width = 0, height = 0;
            if (!impl.window->Device().ReadPixels(rgba, width, height) ||
                static_cast<size_t>(width) * static_cast<size_t>(height) * 4 != rgba.size() ||
                !WritePng(file, width, height, rgba)) {
                std::fprintf(stderr, "kelvane: the screenshot %s of frame %lld could not be written\n",
                             file.c_str(), static_cast<long long>(frame));
                OutputFailed(impl);
            }
        }
    }

    static int Finish(Application& app, bool initDone) {
        Application::Impl& impl = *app.impl;
        if (impl.deviceObjectsCreated) app.ReleaseDeviceObjects();
        impl.deviceObjectsCreated = false;
        if (initDone) app.ShutDown();
        for (auto& [id, controller] : impl.controllers) SDL_GameControllerClose(controller);
        impl.controllers.clear();
        impl.recorder.Close();
        if (traceFile) {
            if (std::ferror(traceFile) || std::fclose(traceFile) != 0) traceFailed = true;
            traceFile = nullptr;
            if (traceFailed) {
                std::fprintf(stderr, "kelvane: the trace %s could not be written in full\n",
                             impl.options.traceFile.c_str());
                OutputFailed(impl);
            }
        }
        impl.window.reset();
        impl.windowView.window = nullptr;
        impl.script.reset();
        impl.running = false;
        if (SDL_WasInit(0)) SDL_Quit();
        ReleaseHeldNotices();
        return impl.exitCode;
    }
};

Application::Application() : impl(std::make_unique<Impl>()) {}
Application::~Application() = default;

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
        case WM_SIZE: {
            if (!impl->window || !impl->running) return 0;
            // The window reports its size more often than it changes (on showing, after a mode switch):
            // the device is rebuilt only for a real change, and never for a minimised, empty area.
            int width = impl->window->ClientWidth(), height = impl->window->ClientHeight();
            if (width <= 0 || height <= 0 || (width == impl->lastWidth && height == impl->lastHeight))
                return 0;
            FrameworkAccess::RebuildDevice(*this, false);
            return 0;
        }
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
    impl->options = options;
    impl->exitCode = 0;
    impl->frame = 0;
    impl->now = 0;
    impl->active = true;
    impl->posted.clear();
    impl->input = FrameworkInput{};
    {
        std::lock_guard<std::mutex> lock(noticeMutex);
        noticesIssued.clear();
        noticesHeld.clear();
    }
    if (options.help) {
        std::fputs(RunOptionsUsage().c_str(), stdout);
        return 0;
    }
    const bool headless = options.headless;
    const double fps = options.fps > 0 ? options.fps : 60;

    if (!options.scriptFile.empty()) {
        std::string error;
        impl->script = LoadScript(options.scriptFile, error);
        if (!impl->script) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return ExitBadInput;
        }
        impl->nextScriptEvent = 0;
    }
    traceFailed = false;
    if (!options.traceFile.empty()) {
        traceFile = std::fopen(options.traceFile.c_str(), "w");
        if (!traceFile) {
            std::fprintf(stderr, "kelvane: cannot write the trace %s: %s\n", options.traceFile.c_str(),
                         std::strerror(errno));
            impl->script.reset();
            return ExitBadInput;
        }
    }
    traceFrame = 0;
    traceNow = 0;

    // Until the game has opened its log, notices wait.
    {
        std::lock_guard<std::mutex> lock(noticeMutex);
        holdNotices = true;
    }
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
    ReleaseHeldNotices();
    if (Failed(result)) {
        ShowMessageBox(windowTitle, "The game could not start (result " + HexResult(result) + ").");
        impl->exitCode = ExitStartFailed;
        return FrameworkAccess::Finish(*this, false);
    }

    std::string error;
    impl->window = GlWindow::Create(windowTitle, windowWidth, windowHeight, headless, error);
    if (!impl->window) {
        ShowMessageBox(windowTitle, "The game window could not be opened: " + error);
        impl->exitCode = ExitStartFailed;
        return FrameworkAccess::Finish(*this, true);
    }
    impl->windowView.window = impl->window.get();
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
        ReportPlatformNotice(error + "; the input is not recorded");
    }

    // How the run ends: a frame count, a time, the script's end, or a close; headless runs always stop.
    std::optional<int64_t> frameLimit = options.frames;
    bool safetyLimit = false;
    if (!frameLimit && options.seconds && headless) {
        frameLimit = static_cast<int64_t>(std::ceil(*options.seconds * fps - 1e-9));
    }
    if (!frameLimit && headless) {
        if (impl->script) {
            frameLimit = impl->script->endFrame + 1;
        } else {
            frameLimit = static_cast<int64_t>(std::ceil(SafetyLimitSeconds * fps));
            safetyLimit = true;
        }
    }

    impl->running = true;
    impl->startMs = TickCountMs();
    int failedInARow = 0;
    while (impl->running) {
        if (headless) {
            // Wraps like a millisecond tick counter on very long or very slow runs.
            SetVirtualTickCount(static_cast<uint32_t>(
                static_cast<uint64_t>(static_cast<double>(impl->frame) * 1000.0 / fps)));
            impl->now = static_cast<float>(static_cast<double>(impl->frame) / fps);
        }
        traceFrame = impl->frame;
        traceNow = impl->now;
        if (frameLimit && impl->frame >= *frameLimit) {
            TraceEvent("frame-limit", "\"frames\":" + std::to_string(impl->frame));
            if (safetyLimit) {
                ReportPlatformNotice(
                    "the headless run reached its limit of " + std::to_string(*frameLimit) +
                    " frames without a close; give --frames, --seconds or a script to end it");
            }
            break;
        }
        FrameworkAccess::Pump(*this);
        if (!impl->running) break;
        if (!impl->active) continue;
        if (!headless) {
            impl->now = static_cast<float>(TickCountMs() - impl->startMs) / 1000.0f;
            if (options.seconds && impl->now >= *options.seconds) {
                TraceEvent("frame-limit", "\"frames\":" + std::to_string(impl->frame));
                break;
            }
        }
        traceNow = impl->now;
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
        FrameworkAccess::TakeScreenshots(*this);
        impl->window->Present();
        ++impl->frame;
    }
    impl->running = false;

    for (const auto& [frame, file] : options.screenshots) {
        if (frame >= impl->frame) {
            std::fprintf(stderr,
                         "kelvane: the screenshot %s was not taken: the run ended before frame %lld\n",
                         file.c_str(), static_cast<long long>(frame));
            FrameworkAccess::OutputFailed(*impl);
        }
    }
    if (!options.dumpFile.empty()) {
        std::ofstream dump(options.dumpFile, std::ios::binary | std::ios::trunc);
        if (dump) {
            WriteStateJson(dump);
            dump << '\n';
        }
        if (!dump) {
            std::fprintf(stderr, "kelvane: cannot write the state dump %s\n", options.dumpFile.c_str());
            FrameworkAccess::OutputFailed(*impl);
        }
    }
    return FrameworkAccess::Finish(*this, true);
}

void TraceEvent(const char* name, const std::string& fieldsJson) {
    if (!traceFile) return;
    std::string line = "{\"frame\":" + std::to_string(traceFrame) + ",\"t\":" + FloatText(traceNow) +
                       ",\"event\":" + JsonString(name ? name : "");
    if (!fieldsJson.empty()) line += "," + fieldsJson;
    line += "}\n";
    if (std::fputs(line.c_str(), traceFile) < 0) traceFailed = true;
}

void SetPlatformNoticeHandler(std::function<void(const std::string&)> handler) {
    noticeHandler = std::move(handler);
}

void ReportPlatformNotice(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(noticeMutex);
        if (!noticesIssued.insert(text).second) return;
        if (holdNotices) {
            noticesHeld.push_back(text);
            return;
        }
    }
    DeliverNotice(text);
}

std::string RunOptionsUsage() {
    return "Usage: kelvane [options]\n"
           "  --headless              run without a display: offscreen drawing on a virtual clock\n"
           "  --fps N                 frames per second of the virtual clock (default 60)\n"
           "  --frames N              end after N frames\n"
           "  --seconds S             end after S seconds\n"
           "  --seed N                fixed random seed\n"
           "  --script FILE           input, one command per line (also replays in a window):\n"
           "                            wait N | at FRAME | key down|up|press NAME|CODE | char C | text "
           "WORDS\n"
           "                            move X Y | button left|right down|up [X Y] | click X Y | click "
           "ACTION\n"
           "                            focus lost|gained | command N | quit    ('#' starts a comment)\n"
           "  --dump FILE             write the game's final state as JSON\n"
           "  --trace FILE            write one JSON line per game event\n"
           "  --screenshot FRAME:FILE.png   save what frame FRAME shows (repeatable)\n"
           "  --record FILE           (windowed) write the player's input as a script for --headless\n"
           "  --help                  show this text\n"
           "Without --frames, --seconds or a script a headless run stops at a close or after 10 minutes.\n";
}

std::optional<RunOptions> ParseRunOptions(int argc, char** argv, std::string& error) {
    RunOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                name = arg.substr(0, equals);
                inlineValue = arg.substr(equals + 1);
            }
        }
        auto flag = [&]() {
            if (!inlineValue) return true;
            error = name + " takes no value";
            return false;
        };
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
            } else if (i + 1 < argc && argv[i + 1]) {
                out = argv[++i];
            } else {
                error = name + " needs a value";
                return false;
            }
            if (out.empty()) {
                error = name + " needs a value";
                return false;
            }
            return true;
        };
        std::string text;
        if (name == "--help" || name == "-h") {
            if (!flag()) return std::nullopt;
            options.help = true;
        } else if (name == "--headless") {
            if (!flag()) return std::nullopt;
            options.headless = true;
        } else if (name == "--fps") {
            double fps;
            if (!value(text)) return std::nullopt;
            if (!ParseReal(text, 1e-3, 1000, fps)) {
                error =
                    "--fps takes a number of frames per second above 0 and up to 1000, not \"" + text + "\"";
                return std::nullopt;
            }
            options.fps = static_cast<float>(fps);
        } else if (name == "--seed") {
            int64_t seed;
            if (!value(text)) return std::nullopt;
            if (!ParseWhole(text, 0, UINT32_MAX, seed)) {
                error = "--seed takes a whole number from 0 to 4294967295, not \"" + text + "\"";
                return std::nullopt;
            }
            options.seed = static_cast<uint32_t>(seed);
        } else if (name == "--frames") {
            int64_t frames;
            if (!value(text)) return std::nullopt;
            if (!ParseWhole(text, 0, ScriptMaxFrame, frames)) {
                error = "--frames takes a whole number of frames from 0 to " +
                        std::to_string(ScriptMaxFrame) + ", not \"" + text + "\"";
                return std::nullopt;
            }
            options.frames = frames;
        } else if (name == "--seconds") {
            double seconds;
            if (!value(text)) return std::nullopt;
            if (!ParseReal(text, 0, 1e6, seconds)) {
                error = "--seconds takes a number of seconds from 0 to 1000000, not \"" + text + "\"";
                return std::nullopt;
            }
            options.seconds = seconds;
        } else if (name == "--script") {
            if (!value(options.scriptFile)) return std::nullopt;
        } else if (name == "--dump") {
            if (!value(options.dumpFile)) return std::nullopt;
        } else if (name == "--trace") {
            if (!value(options.traceFile)) return std::nullopt;
        } else if (name == "--record") {
            if (!value(options.recordFile)) return std::nullopt;
        } else if (name == "--screenshot") {
            if (!value(text)) return std::nullopt;
            size_t colon = text.find(':');
            int64_t frame;
            if (colon == std::string::npos || !ParseWhole(text.substr(0, colon), 0, ScriptMaxFrame, frame)) {
                error = "--screenshot takes FRAME:FILE.png, not \"" + text + "\"";
                return std::nullopt;
            }
            std::string file = text.substr(colon + 1);
            if (!EndsWithPng(file)) {
                error = "--screenshot writes PNG files: the name must end in .png, not \"" + file + "\"";
                return std::nullopt;
            }
            options.screenshots.emplace_back(frame, file);
        } else {
            error = "unknown option \"" + arg + "\"";
            return std::nullopt;
        }
    }
    if (options.frames && options.seconds) {
        error = "--frames and --seconds both end the run: give only one of them";
        return std::nullopt;
    }
    if (!options.recordFile.empty() && options.headless) {
        error = "--record writes a windowed run's input; a headless run takes its input from --script";
        return std::nullopt;
    }
    return options;
}

int RunFromCommandLine(Application& application, int argc, char** argv) {
    std::string error;
    std::optional<RunOptions> options = ParseRunOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "kelvane: %s\nTry --help for the options.\n", error.c_str());
        return ExitBadInput;
    }
    return application.Run(*options);
}
