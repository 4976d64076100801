#include "device/gl_window.h"

#include <SDL.h>
#include <dlfcn.h>
#include <epoxy/gl.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device/gl_device.h"
#include "device/image_loader.h"

namespace {

// Keeps the GL driver modules mapped until the process ends. The window system opens the driver with
// dlopen and closes it when the last context goes; the blocks the driver's own globals still held then
// show up as leaks at exit, and a leak check could not tell them from the game's.
void KeepGlDriversLoaded() {
    std::vector<std::string> drivers;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* names) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
                static_cast<std::vector<std::string>*>(names)->push_back(info->dlpi_name);
            return 0;
        },
        &drivers);
    // Outside the iteration, which holds the loader's lock. RTLD_NOLOAD: only what is loaded already.
    for (const std::string& driver : drivers) dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

class SdlGlWindow final : public GlWindow {
public:
    ~SdlGlWindow() override {
        // The device's GL objects go while their context is still current.
        if (previousFrame) glDeleteSync(previousFrame);
        device.reset();
        if (context) SDL_GL_DeleteContext(context);
        if (window) SDL_DestroyWindow(window);
    }

    bool Open(const GlWindowSettings& settings, std::string& error) {
        if (settings.width <= 0 || settings.height <= 0) {
            error = "window size must be positive";
            return false;
        }
        shape = settings.pictureShape.width > 0 && settings.pictureShape.height > 0
                    ? settings.pictureShape
                    : PixelExtent{settings.width, settings.height};
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        // A picture larger than a software renderer's scene limit has its scene drawn in a target of
        // its own, with its own depth: a window that opens that large asks for no depth buffer, which
        // at 1920 x 1080 would hold 8 MB never used.
        const bool opensLarge = settings.opensFullScreen || settings.width > SoftwareSceneLimit.width ||
                                settings.height > SoftwareSceneLimit.height;
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, settings.depthBuffer.value_or(!opensLarge) ? 24 : 0);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI |
                       (settings.offscreen ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
        if (settings.resizable) flags |= SDL_WINDOW_RESIZABLE;
        const PixelRect placed = Place(settings);
        window =
            SDL_CreateWindow(settings.title.c_str(), placed.x, placed.y, placed.width, placed.height, flags);
        if (!window) {
            error = std::string("cannot create the window: ") + SDL_GetError();
            return false;
        }
        if (settings.resizable && settings.minimumSize.width > 0 && settings.minimumSize.height > 0)
            SDL_SetWindowMinimumSize(window, settings.minimumSize.width, settings.minimumSize.height);
        context = SDL_GL_CreateContext(window);
        if (!context) {
            error = std::string("cannot create an OpenGL 3.3 context: ") + SDL_GetError();
            return false;
        }
        if (SDL_GL_MakeCurrent(window, context) != 0) {
            error = std::string("cannot use the OpenGL context: ") + SDL_GetError();
            return false;
        }
        // A visible window follows the display's refresh; an offscreen one draws as fast as it can.
        // Either request may be refused (some drivers do not support it); the game runs anyway.
        SDL_GL_SetSwapInterval(settings.offscreen ? 0 : 1);
        KeepGlDriversLoaded();
        int width = 0, height = 0;
        SDL_GL_GetDrawableSize(window, &width, &height);
        device = GlDevice::Create(width, height, error);
        if (!device) return false;
        OnResized();
        return true;
    }

    GraphicsDevice& Device() override { return *device; }
    SDL_Window* Handle() const override { return window; }
    int ClientWidth() const override { return picture.width; }
    int ClientHeight() const override { return picture.height; }
    PixelRect Picture() const override { return picture; }
    PixelExtent DrawableSize() const override { return drawable; }
    Point PictureFromWindow(Point at) const override {
        int width = 0, height = 0;
        SDL_GetWindowSize(window, &width, &height);
        return ::PictureFromWindow(at, {width, height}, drawable, picture);
    }
    bool WindowedPlacement(PixelRect& placement) const override {
        const Uint32 unusual = SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_MAXIMIZED |
                               SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN;
        if (SDL_GetWindowFlags(window) & unusual) return false;
        SDL_GetWindowPosition(window, &placement.x, &placement.y);
        SDL_GetWindowSize(window, &placement.width, &placement.height);
        return placement.width > 0 && placement.height > 0;
    }
    void OnResized() override {
        int width = 0, height = 0;
        SDL_GL_GetDrawableSize(window, &width, &height);
        drawable = {std::max(width, 1), std::max(height, 1)};
        picture = FitPicture(drawable.width, drawable.height, shape.width, shape.height);
        device->SetPicture(drawable.width, drawable.height, picture);
    }
    bool SetFullScreen(bool fullScreen) override {
        if (SDL_SetWindowFullscreen(window, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
            return false;
        OnResized();
        return true;
    }
    // The offscreen driver's swap does not flush: without the flush every frame's commands and
    // streamed vertex buffers stay queued, and a headless run grows by about half a megabyte a frame.
    // Nor does it wait: a software renderer would let the game run several frames ahead of what it has
    // drawn, each frame's binned triangles held meanwhile (about 20 MB at 800 x 600). The game goes on
    // once the frame before this one is drawn, so drawing one frame overlaps preparing the next.
    void Present() override {
        device->ShowPicture();
        SDL_GL_SwapWindow(window);
        GLsync drawn = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        glFlush();
        if (previousFrame) {
            glClientWaitSync(previousFrame, 0, MaxFrameWaitNs);
            glDeleteSync(previousFrame);
        }
        previousFrame = drawn;
    }
    void Finish() override { glFinish(); }
    bool SetIcon(const std::string& nativePath, std::string& error) override {
        Image image;
        if (!LoadImageFile(nativePath, image, error)) return false;
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
            image.rgba.data(), image.width, image.height, 32, image.width * 4, SDL_PIXELFORMAT_RGBA32);
        if (!surface) {
            error = SDL_GetError();
            return false;
        }
        SDL_SetWindowIcon(window, surface);  // the window keeps its own copy
        SDL_FreeSurface(surface);
        return true;
    }

private:
    // Where the window opens: the wanted place when it lies on a display, else the primary display's
    // middle; a size the game chose or remembered no larger than the display.
    static PixelRect Place(const GlWindowSettings& settings) {
        std::vector<PixelRect> displays;
        const int count = settings.offscreen ? 0 : SDL_GetNumVideoDisplays();
        for (int i = 0; i < count; ++i) {
            SDL_Rect area;
            if (SDL_GetDisplayUsableBounds(i, &area) == 0 || SDL_GetDisplayBounds(i, &area) == 0)
                displays.push_back({area.x, area.y, area.w, area.h});
        }
        if (displays.empty()) {
            return {int(SDL_WINDOWPOS_CENTERED), int(SDL_WINDOWPOS_CENTERED), settings.width,
                    settings.height};
        }
        if (settings.fitDisplay)
            return PlaceWindow({settings.width, settings.height}, settings.position, displays,
                               settings.minimumSize);
        // A size asked for is kept as it is, even larger than the display (as a test may want it).
        PixelRect placed = PlaceWindow({settings.width, settings.height}, settings.position, displays, {});
        if (placed.width != settings.width || placed.height != settings.height) {
            placed.x += (placed.width - settings.width) / 2;
            placed.y += (placed.height - settings.height) / 2;
        }
        placed.width = settings.width;
        placed.height = settings.height;
        return placed;
    }

    // A frame that takes longer than this to draw is not waited for any longer.
    static constexpr GLuint64 MaxFrameWaitNs = 1'000'000'000;

    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    GLsync previousFrame = nullptr;
    std::unique_ptr<GlDevice> device;
    PixelExtent shape{}, drawable{1, 1};
    PixelRect picture{0, 0, 1, 1};
};

}  // namespace

std::unique_ptr<GlWindow> GlWindow::Create(const GlWindowSettings& settings, std::string& error) {
    auto window = std::make_unique<SdlGlWindow>();
    if (!window->Open(settings, error)) return nullptr;
    return window;
}

std::unique_ptr<GlWindow> GlWindow::Create(const std::string& title, int clientWidth, int clientHeight,
                                           bool offscreen, std::string& error) {
    GlWindowSettings settings;
    settings.title = title;
    settings.width = clientWidth;
    settings.height = clientHeight;
    settings.offscreen = offscreen;
    return Create(settings, error);
}
