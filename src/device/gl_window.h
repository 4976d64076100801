// The game window with its OpenGL 3.3 core context and the GL device drawing into it. A normal run gets
// a visible SDL window, client area centred on the desktop; a headless run gets the same window on SDL's
// offscreen driver (EGL), which draws exactly the same pixels without a display. The window does not
// pump events: the framework owns the event loop and SDL's initialisation.
#pragma once

#include <memory>
#include <string>

#include "device/device.h"

struct SDL_Window;

class GlWindow {
public:
    // SDL's video subsystem must be initialised. Returns nullptr with a reason on failure.
    static std::unique_ptr<GlWindow> Create(const std::string& title, int clientWidth, int clientHeight,
                                            bool offscreen, std::string& error);
    virtual ~GlWindow() = default;

    virtual GraphicsDevice& Device() = 0;
    virtual SDL_Window* Handle() const = 0;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    // Call after the window's size changed: the viewport follows the client area.
    virtual void OnResized() = 0;
    // Full screen at the desktop's size, or back to the windowed size. False if refused.
    virtual bool SetFullScreen(bool fullScreen) = 0;
    virtual void Present() = 0;
    // Waits until every draw call has finished (for timing).
    virtual void Finish() = 0;
    // The picture the desktop shows for the window (its title bar, the task switcher). False with a
    // reason when the picture does not load.
    virtual bool SetIcon(const std::string& nativePath, std::string& error) = 0;
};
