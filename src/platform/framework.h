// The application framework: one window (or, with --headless, an offscreen GL context on a virtual
// clock driven by a script), the 3D device, the frame loop and the message pump. The game derives from
// Application and fills in the hooks; the framework calls them in this order:
//   InitApplication (before the window) -> window and device -> CreateDeviceObjects
//   -> each frame: AdvanceFrame(now), RenderFrame, present; HandleMessage for every message between frames
//   -> around every device re-creation (resize, full-screen switch): ReleaseDeviceObjects /
//   CreateDeviceObjects
//   -> at exit: ReleaseDeviceObjects, ShutDown.
// A failed start-up shows a message box (logged in headless runs) and ends the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/messages.h"

// Command-line options of a run.
struct RunOptions {
    bool headless = false;
    float fps = 60;                 // headless: frames per second of the virtual clock
    std::optional<uint32_t> seed;   // --seed N: fixed random seed
    std::optional<int64_t> frames;  // --frames N
    std::optional<double> seconds;  // --seconds S
    std::string scriptFile;         // --script FILE (headless input)
    std::string dumpFile;           // --dump FILE: final state as JSON
    std::string traceFile;          // --trace FILE: one JSON line per game event
    std::string recordFile;         // --record FILE: windowed run writes its input as a script
    std::vector<std::pair<int64_t, std::string>> screenshots;  // --screenshot FRAME:FILE.png
    bool help = false;  // --help: Run prints the usage and starts nothing
};

// Parses argv; on a bad option writes the reason to error and returns nullopt.
std::optional<RunOptions> ParseRunOptions(int argc, char** argv, std::string& error);
// The --help text.
std::string RunOptionsUsage();

class Window {
public:
    virtual ~Window() = default;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
};

class Application {
public:
    Application();
    virtual ~Application();

    // Hooks, in the framework's calling order. Negative results are failures.
    virtual HResult InitApplication() { return S_OK; }
    virtual HResult CreateDeviceObjects() { return S_OK; }
    virtual HResult ReleaseDeviceObjects() { return S_OK; }
    virtual HResult RenderFrame() { return S_OK; }
    virtual HResult AdvanceFrame(float now) {
        (void)now;
        return S_OK;
    }
    virtual HResult RestoreDeviceSurfaces() { return S_OK; }
    virtual HResult ShutDown() { return S_OK; }
    // Every message goes here first; the game ends by returning DefaultHandleMessage(message).
    virtual int64_t HandleMessage(const Message& message) { return DefaultHandleMessage(message); }

    // Headless runner support, filled in by the game.
    // Centre in client pixels of the widget with this action on the current screen.
    virtual bool FindActionCentre(const std::string& action, Point& centre) {
        (void)action;
        (void)centre;
        return false;
    }
    // The game's state as one JSON object (for --dump).
    virtual void WriteStateJson(std::ostream& out) { out << "{}"; }

    // The framework's own message handling: close, size, focus, the full-screen command 40003.
    int64_t DefaultHandleMessage(const Message& message);

    // Creates the window and device, runs the loop, cleans up. Returns the process exit code.
    int Run(const RunOptions& options);

    // Services for the game.
    GraphicsDevice* Device() const;
    Window* MainWindow() const;
    const InputState& Input() const;
    bool IsWindowed() const { return windowed; }
    void PostCommand(uint32_t commandId);  // queues WM_COMMAND with this id
    void PostClose();                      // queues WM_CLOSE: the loop ends after it
    // Shows what has been drawn at once, outside the frame loop (the loading splash before slow loads).
    void PresentNow();
    const RunOptions& Options() const;
    bool IsHeadless() const;
    // Shows a message box in a windowed run; writes it to standard error in a headless one.
    void ShowMessageBox(const std::string& caption, const std::string& text);

protected:
    std::string windowTitle = "Application";
    int windowWidth = 800;
    int windowHeight = 600;
    bool windowed = true;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
    friend struct FrameworkAccess;
};

// Parses the command line and runs the application: a bad option prints its reason to standard error
// and gives exit code 2. Otherwise the result of Run.
int RunFromCommandLine(Application& application, int argc, char** argv);

// Where the platform's notices go: what it falls back to (offscreen video, no game controllers, full
// screen refused, ...), each text once per run. The game connects this to its log. Notices raised before
// InitApplication has returned are held back until then, so they land in the new session's log; with no
// handler they go to standard error.
void SetPlatformNoticeHandler(std::function<void(const std::string&)> handler);
// Raises a notice (for every platform module).
void ReportPlatformNotice(const std::string& text);

// One line of the --trace file: {"frame": k, "t": now, "event": name, ...fields}. fieldsJson is the inner
// part of a JSON object without braces ("\"row\":3,\"count\":2") or empty. Does nothing when no trace was
// asked for.
void TraceEvent(const char* name, const std::string& fieldsJson = "");
