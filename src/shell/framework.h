// The application framework: one window (or, with --headless, an offscreen GL context on a virtual
// clock driven by a script), the 3D device, the frame loop and the message pump. The game derives from
// Application and fills in the hooks; the framework calls them in this order:
//   InitApplication (before the window) -> window and device -> CreateDeviceObjects
//   -> each frame: AdvanceFrame(now), RenderFrame, present; HandleMessage for every message between frames
//   -> around every device re-creation (resize, full-screen switch): ReleaseDeviceObjects /
//   CreateDeviceObjects
//   -> at exit: ReleaseDeviceObjects, ShutDown.
// A failed start-up shows a message box (logged in headless runs) and ends the program.
// The window may be resized and switched to full screen at the desktop's resolution (F11, Alt+Enter or
// the command 40003). The game keeps its picture of the designed client size's shape, fitted into the
// window with dark bars beside it; every size and position the game sees is the picture's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/notices.h"
#include "device/device.h"
#include "device/window_layout.h"
#include "headless/run_options.h"
#include "headless/runner.h"

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
    // The player moved or resized the window (client area on the desktop, window coordinates), to be
    // remembered for the next run. Called once the window has been left alone for a moment, and at the
    // end of the run; never in full screen, maximised, or in a headless run.
    virtual void WindowPlacementChanged(const PixelRect& placement) { (void)placement; }

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
    // The game's answers to the headless runner (where a scripted click by action lands, what --dump
    // writes). A game that gives none runs all the same; its dumps are empty objects.
    void AttachRunnerGame(RunnerGame* game);

    std::string windowTitle = "Application";
    std::string windowIcon;     // the game's name of the window's picture ("" for none)
    std::string applicationId;  // the desktop's name for the program: its window class and application id
    // The client size the game was made for: the window's size unless another is remembered or asked
    // for, and always the shape of the game's picture.
    int windowWidth = 800;
    int windowHeight = 600;
    // The smallest client area the player may size the window to (0 x 0: any).
    PixelExtent minimumWindowSize{};
    // Where the window opens, as the player left it in an earlier run (set before the window exists,
    // in InitApplication); the designed size in the middle of the desktop without them. --size wins.
    std::optional<PixelExtent> rememberedWindowSize;
    std::optional<Point> rememberedWindowPosition;
    bool windowed = true;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
    friend struct FrameworkAccess;
};
