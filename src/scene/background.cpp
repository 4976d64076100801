// The backgrounds behind every frame and the items falling behind the menus.
#include <cmath>
#include <numbers>

#include "base/random.h"
#include "scene/scene.h"
#include "ui/texture_registry.h"

namespace {
constexpr float Pi = std::numbers::pi_v<float>;
constexpr ColourArgb OpaqueWhite = 0xFFFFFFFFu;

struct TunnelTextures {
    const char* ceiling;
    const char* floor;
};
constexpr TunnelTextures TunnelPairs[3] = {
    {"Graphics\\back_up_1.bmp", "Graphics\\back_down_1.bmp"},
    {"Graphics\\back_up_2.bmp", "Graphics\\back_down_2.bmp"},
    {"Graphics\\back_up_3.bmp", "Graphics\\back_down_3.bmp"},
};

// The ceiling comes down from above the viewer to the horizon at height -11, depth 90; the floor rises
// to meet it there. Both are 110 units wide.
constexpr std::array<QuadCorner, 4> CeilingCorners{{{-55, -11, 90, OpaqueWhite},
                                                    {55, -11, 90, OpaqueWhite},
                                                    {-55, 20, 0, OpaqueWhite},
                                                    {55, 20, 0, OpaqueWhite}}};
constexpr std::array<QuadCorner, 4> FloorCorners{{{-55, -15, 0, OpaqueWhite},
                                                  {55, -15, 0, OpaqueWhite},
                                                  {-55, -11, 90, OpaqueWhite},
                                                  {55, -11, 90, OpaqueWhite}}};
constexpr float TunnelTiling = 4;
constexpr float CeilingSpeed = 0.025f, FloorSpeed = -0.025f;

// The static picture over the whole client area, as the texture registry draws a picture of that size
// (pixel edges at -0.5 and size - 0.5, texture clamped), but through the depth test, passing always and
// writing nothing: that keeps it with the 3D scene it lies behind, which may be drawn at fewer pixels
// than the picture and scaled up, rather than with the 2D layer on top.
void DrawStaticPicture(GraphicsDevice& device, TextureRegistry& registry) {
    Texture* texture = registry.GetTexture("Graphics\\back_static01.bmp");
    const PixelSize client = registry.GetClientSize();
    const float right = static_cast<float>(client.width) - 0.5f,
                bottom = static_cast<float>(client.height) - 0.5f;
    const ScreenVertex vertices[4] = {{-0.5f, bottom, 0.9f, 1, OpaqueWhite, 0, 0, 1},
                                      {right, bottom, 0.9f, 1, OpaqueWhite, 0, 1, 1},
                                      {-0.5f, -0.5f, 0.9f, 1, OpaqueWhite, 0, 0, 0},
                                      {right, -0.5f, 0.9f, 1, OpaqueWhite, 0, 1, 0}};
    const uint16_t indices[6] = {2, 3, 0, 1, 0, 3};
    if (Failed(device.SetTransform(TransformKind::World, MatrixIdentity())) ||
        Failed(device.SetTexture(0, texture)))
        return;
    const uint32_t zEnable = device.GetRenderState(RenderState::ZEnable);
    const uint32_t cullMode = device.GetRenderState(RenderState::CullMode);
    device.SetRenderState(RenderState::ZEnable, 1);
    device.SetRenderState(RenderState::CullMode, CullCounterClockwise);
    device.SetTextureStageState(0, TextureStageState::AddressU, AddressClamp);
    device.SetTextureStageState(0, TextureStageState::AddressV, AddressClamp);
    device.DrawIndexed(std::span<const ScreenVertex>(vertices), indices);
    device.SetTextureStageState(0, TextureStageState::AddressU, AddressWrap);
    device.SetTextureStageState(0, TextureStageState::AddressV, AddressWrap);
    device.SetRenderState(RenderState::CullMode, cullMode);
    device.SetRenderState(RenderState::ZEnable, zEnable);
}
}  // namespace

HResult DrawBackground(GraphicsDevice& device, TextureRegistry& registry, float now, bool dynamic,
                       int backgroundIndex) {
    device.SetRenderState(RenderState::Lighting, 0);
    device.SetRenderState(RenderState::ZFunc, CmpAlways);
    if (dynamic) {
        // An index from outside 0..2 (a damaged state) shows the first pair rather than reading past the
        // table.
        const TunnelTextures& pair =
            TunnelPairs[backgroundIndex >= 0 && backgroundIndex < 3 ? backgroundIndex : 0];
        device.SetTextureStageState(0, TextureStageState::MipFilter, FilterLinear);
        Matrix savedWorld = MatrixIdentity();
        device.GetTransform(TransformKind::World, savedWorld);
        device.SetTransform(TransformKind::World, MatrixIdentity());
        // The planes cover the whole view and, drawn with the always-pass test, rewrite the depth buffer.
        device.SetRenderState(RenderState::ZFunc, CmpAlways);
        DrawScrollingQuad(device, registry.GetTexture(pair.ceiling), CeilingCorners, now, TunnelTiling, 0,
                          CeilingSpeed);
        DrawScrollingQuad(device, registry.GetTexture(pair.floor), FloorCorners, now, TunnelTiling, 0,
                          FloorSpeed);
        device.SetRenderState(RenderState::ZFunc, CmpLessEqual);
        device.SetTransform(TransformKind::World, savedWorld);
        device.SetTextureStageState(0, TextureStageState::MipFilter, FilterNone);
        // The horizon strip only brightens what lies beneath it.
        device.SetRenderState(RenderState::AlphaBlendEnable, 1);
        device.SetRenderState(RenderState::SrcBlend, BlendOne);
        device.SetRenderState(RenderState::DestBlend, BlendInvSrcColour);
        DrawCentredQuad(device, registry.GetTexture("Graphics\\horizgrd.bmp"), 0, -4, 50, 2.5f, 30);
        device.SetRenderState(RenderState::AlphaBlendEnable, 0);
    } else {
        const HResult cleared = device.Clear(ClearTarget | ClearDepth, 0xFF000000u, 1.0f);
        if (Failed(cleared)) return cleared;
        device.SetTextureStageState(0, TextureStageState::MagFilter, FilterPoint);
        device.SetTextureStageState(0, TextureStageState::MinFilter, FilterPoint);
        device.SetRenderState(RenderState::ZWriteEnable, 0);
        DrawStaticPicture(device, registry);
        device.SetRenderState(RenderState::ZWriteEnable, 1);
    }
    device.SetTextureStageState(0, TextureStageState::MagFilter, FilterLinear);
    device.SetTextureStageState(0, TextureStageState::MinFilter, FilterLinear);
    device.SetRenderState(RenderState::Lighting, 1);
    device.SetRenderState(RenderState::ZFunc, CmpLessEqual);
    SetSceneLight(device, 0.55f);
    // The background fills the whole view: the rasteriser paints it while the rest of the frame is
    // being drawn.
    device.Submit();
    return S_OK;
}

void MenuBackdrop::AdvanceSlot(int index, float now) {
    BackdropSlot& slot = slots[static_cast<size_t>(index)];
    slot.x = (static_cast<float>(index) - 0.5f) * 23.0f;
    const float s = 2.0f * now + 15.0f * static_cast<float>(index);
    slot.y = 15.0f - (s - std::trunc(s / 30.0f) * 30.0f);
    if (slot.y > slot.previousY) {
        // Back at the top: something new falls.
        slot.colour = RandomInt(0, 6);
        slot.kind = RandomInt(1, 9);
    }
    slot.previousY = slot.y;
}

void MenuBackdrop::Advance(float now) {
    for (int i = 0; i < 2; ++i) AdvanceSlot(i, now);
}

void MenuBackdrop::Draw(Scene& scene, GraphicsDevice& device, float now) {
    for (int i = 0; i < 2; ++i) {
        AdvanceSlot(i, now);
        const BackdropSlot& slot = slots[static_cast<size_t>(i)];
        if (slot.kind >= 1 && slot.kind <= 7) {
            scene.DrawPiece(device, slot.kind, slot.colour, slot.x, slot.y, 22, 0, now, 0, 1);
        } else if (slot.kind == 8 || slot.kind == 9) {
            device.SetTransform(TransformKind::World, MatrixRotationX(-Pi / 2) * MatrixRotationY(2.0f * now) *
                                                          MatrixTranslation(slot.x, slot.y, 22));
            SetSceneLight(device, 1.0f);
            const MeshLibrary& meshes = scene.Meshes();
            meshes.DrawMesh(device, meshes.FindMesh(slot.kind == 8 ? "bonus.x" : "bonus2.x"));
            SetSceneLight(device, 0.55f);
        }
    }
}
