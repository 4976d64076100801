// The OpenGL 3.3 core implementation of GraphicsDevice. It emulates the classic fixed-function pipeline
// in one shader program: row-vector transforms with depth 0..1, per-vertex lighting of one directional
// light and a material, texture stage 0 with its operations, pre-transformed screen vertices with their
// half-pixel convention, and instanced mesh drawing. Vertex data of immediate draws streams through ring
// buffers; mesh geometry handed in through DrawStaticIndexed stays on the GPU while its owner lives.
// A layer of opaque mesh draws is kept in an offscreen target and copied back while it stays the same.
// The game's picture may fill only part of the back buffer (see window_layout.h); the 3D scene may be
// drawn with fewer pixels than the picture, in a target of its own that is scaled up with linear
// filtering, while the pre-transformed 2D layer (menus, text, pictures) is always drawn at the picture's
// full size. The GL context must be current on the calling thread for the device's whole life and its
// textures'.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/device.h"
#include "device/window_layout.h"

// The most pixels a software renderer draws the 3D scene with: the game's own 800 x 600. Measured on a
// two-core machine at 1920 x 1080 (bench/frame_parts_bench), a scene of 1024 x 768 plus its copy into
// the 1440 x 1080 picture left no room for the 2D layer within a frame of 16.7 ms.
constexpr PixelExtent SoftwareSceneLimit{800, 600};

// Whether a GL_RENDERER string names a renderer that rasterises on the CPU.
bool IsSoftwareRendererName(const std::string& renderer);

class GlDevice : public GraphicsDevice {
public:
    // Needs a current GL 3.3 core context; backBufferWidth/Height is its drawable size. A window without
    // a depth buffer has the picture drawn in a target of its own whenever the 3D scene is drawn at the
    // picture's size; ShowPicture then copies it into the window. nullptr with a reason when the shaders
    // do not build.
    static std::unique_ptr<GlDevice> Create(int backBufferWidth, int backBufferHeight, std::string& error);

    // The drawable changed size and the picture fills all of it.
    virtual void SetBackBufferSize(int width, int height) = 0;
    // The drawable's size and where in it the game's picture lies (y downwards). The viewport, the
    // client size of the 2D layer and GetViewport are the picture's; the rest of the drawable shows
    // dark bars.
    virtual void SetPicture(int drawableWidth, int drawableHeight, const PixelRect& picture) = 0;
    // The most pixels the 3D scene is drawn with: a picture larger than this has its scene drawn at
    // the largest size of the picture's shape within it and scaled up. 0 x 0: always the picture's
    // own size. A new device has SoftwareSceneLimit on a software renderer and no limit on a hardware
    // one.
    virtual void SetSceneLimit(PixelExtent limit) = 0;
    // The size the 3D scene is drawn at now.
    virtual PixelExtent SceneSize() const = 0;
    // The GL driver rasterises on the CPU (Mesa's llvmpipe, softpipe and the like).
    virtual bool SoftwareRenderer() const = 0;
    // Puts what was drawn into the window's back buffer: call before it is swapped.
    virtual void ShowPicture() = 0;

    // Counters for benchmarks and tests.
    struct Statistics {
        uint64_t drawCalls = 0;       // GL draw calls issued
        uint64_t meshUploads = 0;     // static mesh parts copied to the GPU
        size_t cachedMeshParts = 0;   // static mesh parts held on the GPU now
        uint64_t layerPaints = 0;     // layers drawn and kept
        uint64_t layerReuses = 0;     // layers copied back from an earlier frame
        uint64_t layerAdditions = 0;  // kept layers that only gained draws, painted over instead of afresh
        uint64_t sceneCopies = 0;     // scaled scene pictures put into the back buffer
    };
    virtual Statistics Stats() const = 0;
};
