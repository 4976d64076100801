#include "device/gl_window.h"

#include <SDL.h>
#include <dlfcn.h>
#include <epoxy/gl.h>
#include <link.h>

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
        device.reset();
        if (context) SDL_GL_DeleteContext(context);
        if (window) SDL_DestroyWindow(window);
    }

    bool Open(const std::string& title, int clientWidth, int clientHeight, bool offscreen,
              std::string& error) {
        if (clientWidth <= 0 || clientHeight <= 0) {
            error = "window size must be positive";
            return false;
        }
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        const Uint32 flags = SDL_WINDOW_OPENGL | (offscreen ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
        window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, clientWidth,
                                  clientHeight, flags);
        if (!window) {
            error = std::string("cannot create the window: ") + SDL_GetError();
            return false;
        }
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
        SDL_GL_SetSwapInterval(offscreen ? 0 : 1);
        KeepGlDriversLoaded();
        int width = 0, height = 0;
        SDL_GL_GetDrawableSize(window, &width, &height);
        device = GlDevice::Create(width, height, error);
        return device != nullptr;
    }

    GraphicsDevice& Device() override { return *device; }
    SDL_Window* Handle() const override { return window; }
    int ClientWidth() const override {
        int width = 0, height = 0;
        SDL_GetWindowSize(window, &width, &height);
        return width;
    }
    int ClientHeight() const override {
        int width = 0, height = 0;
        SDL_GetWindowSize(window, &width, &height);
        return height;
    }
    void OnResized() override {
        int width = 0, height = 0;
        SDL_GL_GetDrawableSize(window, &width, &height);
        device->SetBackBufferSize(width, height);
    }
    bool SetFullScreen(bool fullScreen) override {
        if (SDL_SetWindowFullscreen(window, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
            return false;
        OnResized();
        return true;
    }
    // The offscreen driver's swap does not flush: without the flush every frame's commands and
    // streamed vertex buffers stay queued, and a headless run grows by about half a megabyte a frame.
    void Present() override {
        SDL_GL_SwapWindow(window);
        glFlush();
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
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    std::unique_ptr<GlDevice> device;
};

}  // namespace

std::unique_ptr<GlWindow> GlWindow::Create(const std::string& title, int clientWidth, int clientHeight,
                                           bool offscreen, std::string& error) {
    auto window = std::make_unique<SdlGlWindow>();
    if (!window->Open(title, clientWidth, clientHeight, offscreen, error)) return nullptr;
    return window;
}
