// The OpenGL 3.3 core implementation of GraphicsDevice. It emulates the classic fixed-function pipeline
// in one shader program: row-vector transforms with depth 0..1, per-vertex lighting of one directional
// light and a material, texture stage 0 with its operations, pre-transformed screen vertices with their
// half-pixel convention, and instanced mesh drawing. Vertex data of immediate draws streams through ring
// buffers; mesh geometry handed in through DrawStaticIndexed stays on the GPU while its owner lives.
// A layer of opaque mesh draws is kept in an offscreen target and copied back while it stays the same.
// The GL context must be current on the calling thread for the device's whole life and its textures'.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/device.h"

class GlDevice : public GraphicsDevice {
public:
    // Needs a current GL 3.3 core context with a depth buffer; backBufferWidth/Height is its drawable
    // size. nullptr with a reason when the shaders do not build.
    static std::unique_ptr<GlDevice> Create(int backBufferWidth, int backBufferHeight, std::string& error);

    // The drawable changed size: the viewport follows it.
    virtual void SetBackBufferSize(int width, int height) = 0;

    // Counters for benchmarks and tests.
    struct Statistics {
        uint64_t drawCalls = 0;      // GL draw calls issued
        uint64_t meshUploads = 0;    // static mesh parts copied to the GPU
        size_t cachedMeshParts = 0;  // static mesh parts held on the GPU now
        uint64_t layerPaints = 0;    // layers drawn and kept
        uint64_t layerReuses = 0;    // layers copied back from an earlier frame
    };
    virtual Statistics Stats() const = 0;
};
