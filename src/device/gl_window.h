// The game window with its OpenGL 3.3 core context and the GL device drawing into it. A normal run gets
// a visible SDL window that the player may resize (not below a minimum) and switch to full screen at the
// desktop's own resolution; a headless run gets the same window on SDL's offscreen driver (EGL), which
// draws exactly the same pixels without a display. Whatever the window's size and shape, the game's
// picture keeps the shape it was made for: the largest such rectangle of the drawable's pixels, centred,
// with dark bars beside it (window_layout.h). The game sees only the picture: ClientWidth and
// ClientHeight are its size in pixels (on a high-density display, drawable pixels, not window points).
// The window does not pump events: the framework owns the event loop and SDL's initialisation.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "device/device.h"
#include "device/window_layout.h"

struct SDL_Window;

struct GlWindowSettings {
    std::string title;
    // The client area in window coordinates, and its top-left corner on the desktop (centred on the
    // primary display when absent, or when it would lie off every display).
    int width = 800, height = 600;
    std::optional<Point> position;
    // The shape the picture keeps; 0 x 0: the shape of width x height.
    PixelExtent pictureShape{};
    bool offscreen = false;
    // The player may resize the window, not below minimumSize.
    bool resizable = false;
    PixelExtent minimumSize{};
    // The size is one the game chose or remembered (not one asked for on the command line): it is made
    // to fit the display the window opens on, and to be at least minimumSize.
    bool fitDisplay = false;
    // The game switches the window to full screen as soon as it has opened.
    bool opensFullScreen = false;
    // Whether the window has a depth buffer of its own. Unset: only when it opens no larger than a
    // software renderer's scene limit. The device draws right either way (gl_device.h).
    std::optional<bool> depthBuffer;
};

class GlWindow {
public:
    // SDL's video subsystem must be initialised. Returns nullptr with a reason on failure.
    static std::unique_ptr<GlWindow> Create(const GlWindowSettings& settings, std::string& error);
    // A fixed window whose picture fills it.
    static std::unique_ptr<GlWindow> Create(const std::string& title, int clientWidth, int clientHeight,
                                            bool offscreen, std::string& error);
    virtual ~GlWindow() = default;

    virtual GraphicsDevice& Device() = 0;
    virtual SDL_Window* Handle() const = 0;
    // The picture's size in pixels: the client size the game lays itself out in.
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    // Where the picture lies in the drawable, and the drawable's size, in pixels.
    virtual PixelRect Picture() const = 0;
    virtual PixelExtent DrawableSize() const = 0;
    // A pointer position of the window's events (window coordinates) in the picture's pixels.
    virtual Point PictureFromWindow(Point window) const = 0;
    // The windowed client area on the desktop (window coordinates); false in full screen or while
    // maximised, minimised or hidden, when there is no windowed size worth remembering.
    virtual bool WindowedPlacement(PixelRect& placement) const = 0;
    // Call after the window's size changed: the picture and the viewport follow the drawable.
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
