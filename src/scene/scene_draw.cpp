// The shared quads, the projection of world points, the scene light and the camera.
#include <cfloat>
#include <cmath>

#include "scene/scene.h"

namespace {
// Two triangles over the template's corners, both clockwise on screen.
constexpr std::array<uint16_t, 6> QuadIndices{2, 3, 0, 1, 0, 3};
constexpr ColourArgb OpaqueWhite = 0xFFFFFFFFu;
constexpr float FieldOfView = 0.7853982f;
constexpr float NearPlane = 1.0f;
constexpr float FarPlane = 100.0f;
}  // namespace

float ScrollOffset(float time, float tiling, float speed) {
    if (speed == 0.0f) return 0.0f;
    const float period = 1.0f / speed;
    const float cycles = std::trunc(time / period);
    return (time - cycles * period) * speed * tiling;
}

std::array<QuadVertex, 4> CentredQuadVertices(float centreX, float centreY, float width, float height,
                                              float z) {
    const float left = centreX - width / 2, right = centreX + width / 2;
    const float bottom = centreY - height / 2, top = centreY + height / 2;
    return {{{left, bottom, z, OpaqueWhite, 0, 1},
             {right, bottom, z, OpaqueWhite, 1, 1},
             {left, top, z, OpaqueWhite, 0, 0},
             {right, top, z, OpaqueWhite, 1, 0}}};
}

std::array<QuadVertex, 4> ScrollingQuadVertices(const std::array<QuadCorner, 4>& corners, float time,
                                                float tiling, float speedU, float speedV) {
    const float du = ScrollOffset(time, tiling, speedU);
    const float dv = ScrollOffset(time, tiling, speedV);
    const float u[4] = {du, tiling + du, du, tiling + du};
    const float v[4] = {tiling + dv, tiling + dv, dv, dv};
    std::array<QuadVertex, 4> vertices{};
    for (size_t i = 0; i < 4; ++i)
        vertices[i] = {corners[i].x, corners[i].y, corners[i].z, corners[i].diffuse, u[i], v[i]};
    return vertices;
}

HResult DrawCentredQuad(GraphicsDevice& device, Texture* texture, float centreX, float centreY, float width,
                        float height, float z) {
    const std::array<QuadVertex, 4> vertices = CentredQuadVertices(centreX, centreY, width, height, z);
    device.SetTexture(0, texture);
    const HResult world = device.SetTransform(TransformKind::World, MatrixIdentity());
    if (Failed(world)) return world;
    const uint32_t lighting = device.GetRenderState(RenderState::Lighting);
    device.SetRenderState(RenderState::Lighting, 0);
    const HResult drawn = device.DrawIndexed(std::span<const QuadVertex>(vertices), QuadIndices);
    device.SetRenderState(RenderState::Lighting, lighting);
    return drawn;
}

HResult DrawScrollingQuad(GraphicsDevice& device, Texture* texture, const std::array<QuadCorner, 4>& corners,
                          float time, float tiling, float speedU, float speedV) {
    const std::array<QuadVertex, 4> vertices = ScrollingQuadVertices(corners, time, tiling, speedU, speedV);
    Material white;
    white.diffuse = white.ambient = {1, 1, 1, 1};
    device.SetMaterial(white);
    const HResult bound = device.SetTexture(0, texture);
    if (Failed(bound)) return bound;
    const uint32_t colourVertex = device.GetRenderState(RenderState::ColourVertex);
    const uint32_t lighting = device.GetRenderState(RenderState::Lighting);
    device.SetRenderState(RenderState::ColourVertex, 1);
    device.SetRenderState(RenderState::Lighting, 0);
    const HResult drawn = device.DrawIndexed(std::span<const QuadVertex>(vertices), QuadIndices);
    device.SetRenderState(RenderState::ColourVertex, colourVertex);
    device.SetRenderState(RenderState::Lighting, lighting);
    return drawn;
}

HResult ProjectToScreen(GraphicsDevice& device, std::span<ScreenPoint> points) {
    Viewport viewport;
    Matrix world, view, projection;
    HResult result = device.GetViewport(viewport);
    if (!Failed(result)) result = device.GetTransform(TransformKind::World, world);
    if (!Failed(result)) result = device.GetTransform(TransformKind::View, view);
    if (!Failed(result)) result = device.GetTransform(TransformKind::Projection, projection);
    if (Failed(result)) return result;
    const Matrix m = world * view * projection;
    const float halfWidth = static_cast<float>(viewport.width >> 1);
    const float halfHeight = static_cast<float>(viewport.height >> 1);
    for (ScreenPoint& point : points) {
        const Vector4 p = TransformPoint({point.x, point.y, point.z}, m);
        // A point on the eye's plane has no picture; leave it far off-screen rather than divide by zero.
        const float w = p.w != 0.0f ? p.w : FLT_MIN;
        point.x = (p.x / w + 1.0f) * halfWidth;
        point.y = (1.0f - p.y / w) * halfHeight;
        point.z = p.z / w;
        point.w = p.w;
    }
    return S_OK;
}

void SetSceneLight(GraphicsDevice& device, float intensity) {
    const uint32_t level = static_cast<uint32_t>(std::trunc(255.0f * intensity)) & 0xFFu;
    device.SetRenderState(RenderState::Ambient, level << 24 | level << 16 | level << 8 | level);
    Light light;
    light.diffuse = {intensity, intensity, intensity, 1.0f};
    light.specular = {1, 1, 1, 1};
    light.ambient = {0, 0, 0, 0};
    light.direction = {-1, -2, 1};
    light.attenuation0 = 1;
    light.range = std::sqrt(FLT_MAX);  // the largest range a light may have
    device.SetLight(0, light);
    device.LightEnable(0, true);
}

Matrix SceneViewMatrix() {
    return MatrixLookAtLH({0, 0, -5}, {0, 0, 22}, {0, 1, 0});
}

Matrix SceneProjectionMatrix() {
    // The 0.75 is the 4:3 aspect of the game's window and is kept whatever the window's shape.
    const float c = 1.0f / std::tan(FieldOfView / 2);
    const float q = FarPlane / (FarPlane - NearPlane);
    Matrix projection;
    projection.m[0][0] = 0.75f * c;
    projection.m[1][1] = c;
    projection.m[2][2] = q;
    projection.m[2][3] = 1.0f;
    projection.m[3][2] = -q * NearPlane;
    return projection;
}

HResult SetUpSceneCamera(GraphicsDevice& device) {
    device.SetRenderState(RenderState::ZEnable, 1);
    device.SetRenderState(RenderState::ZFunc, CmpLessEqual);
    device.SetRenderState(RenderState::Lighting, 1);
    device.SetRenderState(RenderState::DitherEnable, 1);
    device.SetRenderState(RenderState::ColourVertex, 0);
    device.SetRenderState(RenderState::SrcBlend, BlendOne);
    device.SetRenderState(RenderState::DestBlend, BlendInvSrcColour);
    device.SetTextureStageState(0, TextureStageState::MipFilter, FilterNone);
    device.SetTextureStageState(0, TextureStageState::MagFilter, FilterLinear);
    device.SetTextureStageState(0, TextureStageState::MinFilter, FilterLinear);
    HResult result = device.SetTransform(TransformKind::View, SceneViewMatrix());
    if (Failed(result)) return result;
    result = device.SetTransform(TransformKind::Projection, SceneProjectionMatrix());
    if (Failed(result)) return result;
    return device.Clear(ClearTarget | ClearDepth, 0xFF000000u, 1.0f);
}
