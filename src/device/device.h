// The 3D device: a small immediate, stateful drawing interface with the meaning of the classic
// fixed-function pipeline the game was drawn for. World, view and projection transforms in row-vector
// convention, left-handed, depth 0..1; render states; one directional light and a material lit per
// vertex; texture stage 0 with its colour and alpha operations; indexed triangle lists of the three
// vertex layouts the game draws. The OpenGL 3.3 implementation (gl_device.cpp) emulates all of it in
// shaders; only the platform layer knows GL. Results: negative = failure.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/math3d.h"
#include "base/result.h"

// 32-bit colours are ARGB: 0xAARRGGBB.
using ColourArgb = uint32_t;

struct ColourValue {
    float r = 0, g = 0, b = 0, a = 0;
};

struct Material {
    ColourValue diffuse, ambient, specular, emissive;
    float power = 0;
};

// Directional light: direction points from the light into the scene.
struct Light {
    ColourValue diffuse, specular, ambient;
    Vector3 direction{0, 0, 1};
    float range = 0;
    float attenuation0 = 1;
};

struct Viewport {
    int x = 0, y = 0, width = 0, height = 0;
    float minZ = 0, maxZ = 1;
};

enum class TransformKind { World, View, Projection };

enum class RenderState {
    ZEnable,           // 0/1
    ZWriteEnable,      // 0/1
    ZFunc,             // CompareFunc
    Lighting,          // 0/1
    Ambient,           // ColourArgb of the global ambient light
    SpecularEnable,    // 0/1
    DitherEnable,      // 0/1 (kept; has no visible effect at 24-bit colour)
    ColourVertex,      // 0/1: vertex colours feed the lighting instead of the material diffuse/ambient
    AlphaBlendEnable,  // 0/1
    SrcBlend,          // BlendFactor
    DestBlend,         // BlendFactor
    CullMode,          // CullMode
};

enum CompareFunc : uint32_t {
    CmpNever = 1,
    CmpLess,
    CmpEqual,
    CmpLessEqual,
    CmpGreater,
    CmpNotEqual,
    CmpGreaterEqual,
    CmpAlways
};
enum BlendFactor : uint32_t {
    BlendZero = 1,
    BlendOne,
    BlendSrcColour,
    BlendInvSrcColour,
    BlendSrcAlpha,
    BlendInvSrcAlpha
};
// Which screen winding is culled. CullCounterClockwise (the default) keeps triangles that are clockwise on
// screen, the front faces of a left-handed mesh.
enum CullMode : uint32_t { CullNone = 1, CullClockwise, CullCounterClockwise };

enum class TextureStageState {
    ColourOp,
    ColourArg1,
    ColourArg2,
    AlphaOp,
    AlphaArg1,
    AlphaArg2,
    AddressU,
    AddressV,
    MagFilter,
    MinFilter,
    MipFilter
};
enum TextureOp : uint32_t { OpDisable = 1, OpSelectArg1, OpSelectArg2, OpModulate };
enum TextureArg : uint32_t { ArgDiffuse = 0, ArgTexture = 2 };
enum TextureAddress : uint32_t { AddressWrap = 1, AddressClamp = 3 };
enum TextureFilter : uint32_t { FilterNone = 1, FilterPoint, FilterLinear };

// Clear flags.
constexpr uint32_t ClearTarget = 1, ClearDepth = 2;

// Position, normal, texture coordinates: mesh vertices.
struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

// Position, diffuse colour, texture coordinates: world-space quads (flexible format 0x142).
struct QuadVertex {
    float x, y, z;
    ColourArgb diffuse;
    float u, v;
};

// Pre-transformed, lit screen vertex: pixel position (pixel centres at integer + 0.5 as in the classic
// pipeline, so a quad from -0.5 to 799.5 covers pixels 0..799 exactly), depth 0..1, 1/w.
struct ScreenVertex {
    float x, y, z, rhw;
    ColourArgb diffuse, specular;
    float u, v;
};

// A device texture, 32 bits per pixel, one mip level unless mip filtering asks for more.
class Texture {
public:
    virtual ~Texture() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
};

class GraphicsDevice {
public:
    virtual ~GraphicsDevice() = default;

    virtual HResult BeginScene() = 0;
    virtual HResult EndScene() = 0;
    // Hands what has been drawn so far to the rasteriser, which then works on it while the frame goes
    // on being drawn; the picture is the same with or without it.
    virtual void Submit() {}
    // Brackets a group of opaque mesh draws that mostly stays the same from frame to frame (the settled
    // cells of the well). The device may keep what the group drew and, when the same draws come again
    // under the same states and over the same depth buffer, copy that back instead of drawing them
    // again. Either way the picture is the one the draws give.
    virtual void BeginLayer() {}
    virtual void EndLayer() {}
    virtual HResult Clear(uint32_t flags, ColourArgb colour, float z) = 0;

    virtual HResult SetTransform(TransformKind kind, const Matrix& matrix) = 0;
    virtual HResult GetTransform(TransformKind kind, Matrix& matrix) const = 0;
    virtual HResult GetViewport(Viewport& viewport) const = 0;

    virtual HResult SetRenderState(RenderState state, uint32_t value) = 0;
    virtual uint32_t GetRenderState(RenderState state) const = 0;

    virtual HResult SetLight(int index, const Light& light) = 0;  // index 0 only
    virtual HResult LightEnable(int index, bool enable) = 0;
    virtual HResult SetMaterial(const Material& material) = 0;
    virtual Material GetMaterial() const = 0;

    // Stage 0 only. With no texture bound the stage reads as opaque white.
    virtual HResult SetTexture(int stage, Texture* texture) = 0;
    virtual Texture* GetTexture(int stage) const = 0;
    virtual HResult SetTextureStageState(int stage, TextureStageState state, uint32_t value) = 0;
    virtual uint32_t GetTextureStageState(int stage, TextureStageState state) const = 0;

    // Indexed triangle lists in the current state.
    virtual HResult DrawIndexed(std::span<const QuadVertex> vertices, std::span<const uint16_t> indices) = 0;
    virtual HResult DrawIndexed(std::span<const ScreenVertex> vertices,
                                std::span<const uint16_t> indices) = 0;
    virtual HResult DrawIndexed(std::span<const MeshVertex> vertices, std::span<const uint32_t> indices) = 0;
    // The same mesh vertices drawn once per world matrix, in one call: the picture equals drawing them
    // with each matrix set as the world transform in turn. The world transform itself is not changed.
    virtual HResult DrawIndexedInstanced(std::span<const MeshVertex> vertices,
                                         std::span<const uint32_t> indices,
                                         std::span<const Matrix> worlds) = 0;

    // Mesh geometry that stays unchanged for as long as `owner` lives (a mesh subset, `part` numbering
    // the subsets of one owner). The device may keep a GPU copy and draw from it on later calls; it drops
    // the copy once the owner has gone. Draws exactly as DrawIndexed (worlds empty) or
    // DrawIndexedInstanced would.
    virtual HResult DrawStaticIndexed(const std::shared_ptr<const uint64_t>& owner, size_t part,
                                      std::span<const MeshVertex> vertices, std::span<const uint32_t> indices,
                                      std::span<const Matrix> worlds) {
        (void)owner;
        (void)part;
        return worlds.empty() ? DrawIndexed(vertices, indices)
                              : DrawIndexedInstanced(vertices, indices, worlds);
    }

    // Textures. A file that does not load (missing, not an image, too large) gives nullptr, and
    // TextureLoadProblem then says why; after a texture was made it says what was wrong with its file
    // all the same (a picture cut short), "" for nothing (or when the device does not tell).
    virtual std::unique_ptr<Texture> CreateTextureFromFile(const std::string& nativePath) = 0;
    virtual std::string TextureLoadProblem() const { return ""; }
    // Whether CreateTextureFromFile would make a texture of this file, with TextureLoadProblem set as it
    // would set it, without keeping the texture.
    virtual bool CheckTextureFile(const std::string& nativePath) {
        return CreateTextureFromFile(nativePath) != nullptr;
    }
    // rgba: width x height pixels, 4 bytes each, top row first.
    virtual std::unique_ptr<Texture> CreateTextureFromPixels(int width, int height,
                                                             std::span<const uint8_t> rgba) = 0;

    // What the back buffer shows now, top row first, RGBA with alpha forced to 255.
    virtual bool ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height) = 0;
};

// The window's client area as the game lays it out: the 2D layer places pictures and texts in
// fractions of it, and the pointer's positions are in its pixels.
class Window {
public:
    virtual ~Window() = default;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
};
