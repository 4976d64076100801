#include "ui/texture_registry.h"

#include <algorithm>

#include "base/paths.h"
#include "persist/log.h"

TextureRegistry textureRegistry;

void SetBlendedModulate(GraphicsDevice& device) {
    device.SetRenderState(RenderState::AlphaBlendEnable, 1);
    device.SetRenderState(RenderState::SrcBlend, BlendSrcAlpha);
    device.SetRenderState(RenderState::DestBlend, BlendInvSrcAlpha);
    device.SetTextureStageState(0, TextureStageState::ColourOp, OpModulate);
    device.SetTextureStageState(0, TextureStageState::ColourArg1, ArgTexture);
    device.SetTextureStageState(0, TextureStageState::ColourArg2, ArgDiffuse);
    device.SetTextureStageState(0, TextureStageState::AlphaOp, OpModulate);
    device.SetTextureStageState(0, TextureStageState::AlphaArg1, ArgTexture);
    device.SetTextureStageState(0, TextureStageState::AlphaArg2, ArgDiffuse);
}

namespace {

// Names remembered as refused between two emptyings. Screens and translations name a few dozen
// pictures; the bound only matters for a caller that invents names without end, and past it a
// refused name is simply tried again.
constexpr size_t MaxRefusedNames = 1024;

// A device index buffer holds 16-bit indices: 4 vertices per quad.
constexpr size_t MaxQuadsPerDraw = 65536 / 4;

}  // namespace

TextureRegistry::TextureRegistry() : slots(MaxTextures) {}

TextureRegistry::~TextureRegistry() = default;

void TextureRegistry::BindDevice(Window* boundWindow, GraphicsDevice* boundDevice) {
    window = boundWindow;
    device = boundDevice;
}

Texture* TextureRegistry::GetTexture(std::string_view name) {
    if (auto found = slotByName.find(name); found != slotByName.end())
        return slots[found->second].texture.get();
    // No file has an empty name: a widget without a picture simply has no texture.
    if (name.empty() || refusedNames.contains(name)) return nullptr;
    const int before = count;
    if (LoadTexture("", name) && count == before + 1 && slots[count - 1].name == name)
        return slots[count - 1].texture.get();
    if (refusedNames.size() < MaxRefusedNames) refusedNames.emplace(name);
    return nullptr;
}

bool TextureRegistry::LoadTexture(std::string_view prefix, std::string_view name) {
    if (count >= MaxTextures) {
        WriteLog("Overflow error: maximum textures count", 0);
        return false;
    }
    std::string path;
    path.reserve(prefix.size() + name.size());
    path.append(prefix).append(name);

    std::unique_ptr<Texture> texture;
    std::string reason;
    // A path that does not fit a slot's name field is refused rather than cut: a cut name would be
    // found again under a different file's name.
    if (path.size() > MaxTextureNameLength) {
        reason = "name longer than " + std::to_string(MaxTextureNameLength) + " characters";
    } else if (!device) {
        reason = "no graphics device";
    } else {
        texture = device->CreateTextureFromFile(LocateGameFile(path));
        if (!texture) reason = device->TextureLoadProblem();
    }
    if (!texture) {
        WriteLog("Bitmap loading: '" + path + "' ... FAILED" + (reason.empty() ? "" : " (" + reason + ")"),
                 LogTimeStamp);
        return false;
    }
    Slot& slot = slots[count];
    slot.texture = std::move(texture);
    slot.name = path;
    slotByName.emplace(
        path, count);  // an earlier slot of the same name keeps answering, as a search in order would
    ++count;
    WriteLog("Bitmap loading: '" + path + "' ... OK (" + std::to_string(count) + " loaded) (32 bit)",
             LogTimeStamp);
    const std::string problem = device->TextureLoadProblem();
    if (!problem.empty()) WriteLog("Bitmap '" + path + "': " + problem, LogTimeStamp | LogWarning);
    return true;
}

int TextureRegistry::DeleteAllTexturesMIPMAP() {
    for (int i = 0; i < count; ++i) slots[i].texture.reset();
    count = 0;
    ++generation;
    slotByName.clear();
    refusedNames.clear();
    WriteLog("DeleteAllTexturesMIPMAP()", 0);
    return 0;
}

PixelSize TextureRegistry::GetClientSize() const {
    if (!window) return {};
    return {window->ClientWidth(), window->ClientHeight()};
}

PixelSize TextureRegistry::GetTextureSize(const Texture* texture) {
    if (!texture) return {};
    return {texture->Width(), texture->Height()};
}

HResult TextureRegistry::DrawQuad(Texture* texture, float x, float y, float w, float h, float uLeft,
                                  float vTop, float uRight, float vBottom, ColourArgb colour,
                                  uint32_t flags) {
    const QuadPlacement quad{x, y, w, h, uLeft, vTop, uRight, vBottom};
    return DrawQuads(texture, std::span<const QuadPlacement>(&quad, 1), colour, flags);
}

HResult TextureRegistry::DrawQuads(Texture* texture, std::span<const QuadPlacement> quads, ColourArgb colour,
                                   uint32_t flags) {
    if (!device) return E_FAIL;
    if (quads.empty()) return S_OK;
    // A pixel-sized quad without a texture has no size to draw.
    if ((flags & QUAD_PIXEL_SIZE) && !texture) return S_OK;

    const PixelSize client = GetClientSize();
    const float clientW = static_cast<float>(client.width), clientH = static_cast<float>(client.height);
    const PixelSize own = GetTextureSize(texture);

    // Pre-transformed vertices with the classic half-pixel shift: a quad over the whole client area
    // spans -0.5 .. W-0.5 and so covers every pixel exactly once. Two clockwise triangles per quad.
    vertices.clear();
    indices.clear();
    const size_t quadCount = std::min(quads.size(), MaxQuadsPerDraw);
    for (size_t i = 0; i < quadCount; ++i) {
        const QuadPlacement& q = quads[i];
        const float px = q.x * clientW, py = q.y * clientH;
        float pw = q.w * clientW, ph = q.h * clientH;
        if (flags & QUAD_PIXEL_SIZE) {
            pw = static_cast<float>(own.width);
            ph = static_cast<float>(own.height);
        }
        const float left = px - pw / 2 - 0.5f, top = py - ph / 2 - 0.5f;
        const float right = left + pw, bottom = top + ph;
        const auto base = static_cast<uint16_t>(vertices.size());
        vertices.push_back({left, bottom, 0.9f, 1.0f, colour, 0, q.uLeft, q.vBottom});
        vertices.push_back({right, bottom, 0.9f, 1.0f, colour, 0, q.uRight, q.vBottom});
        vertices.push_back({left, top, 0.9f, 1.0f, colour, 0, q.uLeft, q.vTop});
        vertices.push_back({right, top, 0.9f, 1.0f, colour, 0, q.uRight, q.vTop});
        for (uint16_t index : {2, 3, 0, 1, 0, 3}) indices.push_back(static_cast<uint16_t>(base + index));
    }

    HResult result = device->SetTransform(TransformKind::World, MatrixIdentity());
    if (Failed(result)) return result;
    result = device->SetTexture(0, texture);
    if (Failed(result)) return result;

    const uint32_t oldZEnable = device->GetRenderState(RenderState::ZEnable);
    device->SetRenderState(RenderState::ZEnable, 0);
    const uint32_t oldLighting = device->GetRenderState(RenderState::Lighting);
    device->SetRenderState(RenderState::Lighting, 0);
    const uint32_t oldCullMode = device->GetRenderState(RenderState::CullMode);
    device->SetRenderState(RenderState::CullMode, CullCounterClockwise);
    device->SetTextureStageState(0, TextureStageState::AddressU, AddressClamp);
    device->SetTextureStageState(0, TextureStageState::AddressV, AddressClamp);

    uint32_t oldAlphaBlend = 0;
    if (flags & QUAD_ALPHA_BLEND) {
        oldAlphaBlend = device->GetRenderState(RenderState::AlphaBlendEnable);
        SetBlendedModulate(*device);
    }

    result = device->DrawIndexed(std::span<const ScreenVertex>(vertices), std::span<const uint16_t>(indices));

    if (flags & QUAD_ALPHA_BLEND) device->SetRenderState(RenderState::AlphaBlendEnable, oldAlphaBlend);
    device->SetTextureStageState(0, TextureStageState::AddressU, AddressWrap);
    device->SetTextureStageState(0, TextureStageState::AddressV, AddressWrap);
    device->SetRenderState(RenderState::Lighting, oldLighting);
    device->SetRenderState(RenderState::CullMode, oldCullMode);
    device->SetRenderState(RenderState::ZEnable, oldZEnable);

    // Batches longer than one index buffer go on in further calls with the same states.
    if (!Failed(result) && quads.size() > quadCount)
        return DrawQuads(texture, quads.subspan(quadCount), colour, flags);
    return result;
}
