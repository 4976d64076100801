// The texture registry: the one global store of 2D textures (menu pictures, the font, the scene's
// full-screen background), loaded from files on first use, found again by their exact name and
// released all at once when the device goes away. It also owns DrawQuad, the single screen-space
// drawing operation behind every 2D picture and glyph; positions and sizes are fractions of the
// window's client area, so all 2D layout follows the window size.
//  - At most 250 textures; slots fill from 0 upward and are only ever emptied as a whole.
//  - No two slots hold the same name; names compare byte for byte (letter case matters).
//  - A name that failed to load is not tried again (and not logged again) until the registry is
//    next emptied, so a widget with a missing picture logs one line, not one per frame.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "device/device.h"

constexpr uint32_t QUAD_ALPHA_BLEND = 1;  // blend with source alpha; colour and alpha = texture x diffuse
constexpr uint32_t QUAD_PIXEL_SIZE = 8;   // the quad is as large in pixels as its texture

constexpr int MaxTextures = 250;
constexpr size_t MaxTextureNameLength = 254;  // a slot's name field holds 254 characters

// One quad of a batch: centre and size as fractions of the client area, texture corners.
struct QuadPlacement {
    float x = 0, y = 0, w = 0, h = 0;
    float uLeft = 0, vTop = 0, uRight = 1, vBottom = 1;
};

struct PixelSize {
    int width = 0, height = 0;
};

class TextureRegistry {
public:
    TextureRegistry();
    ~TextureRegistry();
    TextureRegistry(const TextureRegistry&) = delete;
    TextureRegistry& operator=(const TextureRegistry&) = delete;

    // Neither is owned; the shell binds them at every device creation, before anything is drawn.
    void BindDevice(Window* window, GraphicsDevice* device);
    GraphicsDevice* Device() const { return device; }

    // The texture of that name, loading it on its first lookup; nullptr when it cannot be loaded.
    Texture* GetTexture(std::string_view name);
    // Loads prefix + name into the next free slot; true when a slot was filled.
    bool LoadTexture(std::string_view prefix, std::string_view name);
    // Releases every texture; the next lookups load afresh and the count starts again at 1. Returns 0.
    int DeleteAllTexturesMIPMAP();

    int Count() const { return count; }
    // Bumped by every DeleteAllTexturesMIPMAP: a texture pointer kept from an older generation is gone.
    uint64_t Generation() const { return generation; }

    // The bound window's client area in pixels (0 x 0 without a window).
    PixelSize GetClientSize() const;
    static PixelSize GetTextureSize(const Texture* texture);

    HResult DrawQuad(Texture* texture, float x, float y, float w, float h, float uLeft, float vTop,
                     float uRight, float vBottom, ColourArgb colour, uint32_t flags);
    // Several quads with one texture, colour and flags in one draw call; the device states are set and
    // restored once, exactly as DrawQuad does, and the pixels equal drawing them one by one in order.
    HResult DrawQuads(Texture* texture, std::span<const QuadPlacement> quads, ColourArgb colour,
                      uint32_t flags);

private:
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct Slot {
        std::unique_ptr<Texture> texture;
        std::string name;
    };

    Window* window = nullptr;
    GraphicsDevice* device = nullptr;
    std::vector<Slot> slots;  // MaxTextures entries; 0..count-1 are filled
    int count = 0;
    uint64_t generation = 0;
    std::unordered_map<std::string, int, NameHash, std::equal_to<>> slotByName;
    std::unordered_set<std::string, NameHash, std::equal_to<>> refusedNames;
    std::vector<ScreenVertex> vertices;  // scratch for DrawQuads
    std::vector<uint16_t> indices;
};

extern TextureRegistry textureRegistry;

// Alpha blending on (source alpha, inverse source alpha) with stage 0 colour and alpha = texture x
// diffuse: how every blended 2D picture and glyph is drawn.
void SetBlendedModulate(GraphicsDevice& device);
