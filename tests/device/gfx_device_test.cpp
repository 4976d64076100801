// Pixel tests of the GL device: what the classic pipeline would have drawn, read back from the
// offscreen back buffer.
#include <cmath>

#include "device/mesh.h"
#include "gfx_test_support.h"

namespace {

constexpr ColourArgb Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF;

// The game's camera: eye (0, 0, -5) looking along +z, quarter-pi field of view, near 1, far 100.
void SetGameCamera(GraphicsDevice& device) {
    device.SetTransform(TransformKind::View, MatrixLookAtLH({0, 0, -5}, {0, 0, 22}, {0, 1, 0}));
    const float c = 1.0f / std::tan(0.7853982f / 2);
    const float q = 100.0f / 99.0f;
    Matrix projection;
    projection.m[0][0] = 0.75f * c;
    projection.m[1][1] = c;
    projection.m[2][2] = q;
    projection.m[2][3] = 1;
    projection.m[3][2] = -q;
    device.SetTransform(TransformKind::Projection, projection);
}

// A square of mesh vertices in the z = 0 plane facing the camera (normal -z), clockwise as seen from -z.
void FacingSquare(float half, std::vector<MeshVertex>& vertices, std::vector<uint32_t>& indices) {
    vertices = {{-half, half, 0, 0, 0, -1, 0, 0},
                {half, half, 0, 0, 0, -1, 1, 0},
                {-half, -half, 0, 0, 0, -1, 0, 1},
                {half, -half, 0, 0, 0, -1, 1, 1}};
    indices = {0, 1, 2, 2, 1, 3};
}

// A unit cube with outward normals, faces clockwise seen from outside (left-handed).
void Cube(std::vector<MeshVertex>& vertices, std::vector<uint32_t>& indices) {
    vertices.clear();
    indices.clear();
    const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (const auto& normal : n) {
        const Vector3 nz{normal[0], normal[1], normal[2]};
        // Two axes in the face such that right x up = -normal seen from outside: clockwise corners.
        const Vector3 up = std::abs(nz.y) > 0.5f ? Vector3{0, 0, 1} : Vector3{0, 1, 0};
        const Vector3 right = Cross(up, nz);
        const uint32_t base = uint32_t(vertices.size());
        const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
        for (const auto& c : corners)
            vertices.push_back({0.5f * (nz.x + c[0] * right.x + c[1] * up.x),
                                0.5f * (nz.y + c[0] * right.y + c[1] * up.y),
                                0.5f * (nz.z + c[0] * right.z + c[1] * up.z), nz.x, nz.y, nz.z, 0, 0});
        for (uint32_t i : {0u, 1u, 2u, 2u, 1u, 3u}) indices.push_back(base + i);
    }
}

TEST_F(GfxTest, DepthRunsFromZeroToOneAndLessEqualPassesEqualDepth) {
    GraphicsDevice& d = device();
    // Equal depth passes less-or-equal, not less; nearer passes, farther does not.
    ScreenQuad(-0.5f, -0.5f, 399.5f, 299.5f, 0.5f, Red);
    ScreenQuad(-0.5f, -0.5f, 199.5f, 299.5f, 0.5f, Green);
    d.SetRenderState(RenderState::ZFunc, CmpLess);
    ScreenQuad(199.5f, -0.5f, 299.5f, 299.5f, 0.5f, Blue);
    ScreenQuad(299.5f, -0.5f, 399.5f, 299.5f, 0.4999f, Blue);
    d.SetRenderState(RenderState::ZFunc, CmpLessEqual);
    ScreenQuad(-0.5f, 99.5f, 399.5f, 199.5f, 0.5001f, 0xFFFFFFFF);
    // Always-pass draws over everything; with depth writes off it leaves the depth alone.
    d.SetRenderState(RenderState::ZFunc, CmpAlways);
    d.SetRenderState(RenderState::ZWriteEnable, 0);
    ScreenQuad(399.5f, -0.5f, 499.5f, 99.5f, 0.9f, Blue);
    d.SetRenderState(RenderState::ZFunc, CmpLessEqual);
    d.SetRenderState(RenderState::ZWriteEnable, 1);
    ScreenQuad(399.5f, -0.5f, 449.5f, 99.5f, 0.95f, Green);  // depth still 1.0 there: passes
    // A cleared depth of 1.0 is passed by the far plane itself.
    ScreenQuad(499.5f, -0.5f, 599.5f, 99.5f, 1.0f, Red);
    Read();
    EXPECT_EQ(At(100, 50), 0x00FF00u);
    EXPECT_EQ(At(250, 50), 0xFF0000u);
    EXPECT_EQ(At(350, 50), 0x0000FFu);
    EXPECT_EQ(At(100, 150), 0x00FF00u);
    EXPECT_EQ(At(420, 50), 0x00FF00u);
    EXPECT_EQ(At(470, 50), 0x0000FFu);
    EXPECT_EQ(At(550, 50), 0xFF0000u);

    // World geometry: clip z / w is the stored depth directly (0..1, not GL's -1..1), and z below 0
    // is clipped away.
    SetUp();
    d.SetTransform(TransformKind::World, MatrixTranslation(0, 0, 0.25f));
    const QuadVertex quad[4] = {
        {-1, -1, 0, Red, 0, 0}, {1, -1, 0, Red, 0, 0}, {-1, 1, 0, Red, 0, 0}, {1, 1, 0, Red, 0, 0}};
    const uint16_t quadIndices[6] = {2, 3, 0, 1, 0, 3};
    ASSERT_EQ(d.DrawIndexed(std::span<const QuadVertex>(quad), quadIndices), S_OK);
    ScreenQuad(-0.5f, -0.5f, 399.5f, 599.5f, 0.26f, Green);   // behind the world quad
    ScreenQuad(399.5f, -0.5f, 799.5f, 599.5f, 0.24f, Green);  // in front
    d.SetTransform(TransformKind::World, MatrixTranslation(0, 0, -0.1f));
    const QuadVertex behindEye[4] = {
        {-1, -1, 0, Blue, 0, 0}, {1, -1, 0, Blue, 0, 0}, {-1, 1, 0, Blue, 0, 0}, {1, 1, 0, Blue, 0, 0}};
    d.SetRenderState(RenderState::ZFunc, CmpAlways);
    ASSERT_EQ(d.DrawIndexed(std::span<const QuadVertex>(behindEye), quadIndices), S_OK);
    Read();
    EXPECT_EQ(At(200, 300), 0xFF0000u);
    EXPECT_EQ(At(600, 300), 0x00FF00u);
}

TEST_F(GfxTest, CullModesFollowTheWindingSeenOnScreen) {
    GraphicsDevice& d = device();
    // Screen triangles: clockwise on screen is top-left, top-right, bottom-left.
    auto triangle = [&](float x, bool clockwise, ColourArgb colour) {
        const ScreenVertex v[3] = {{x, 10, 0.5f, 1, colour, 0, 0, 0},
                                   {x + 80, 10, 0.5f, 1, colour, 0, 0, 0},
                                   {x, 90, 0.5f, 1, colour, 0, 0, 0}};
        const uint16_t cw[3] = {0, 1, 2}, ccw[3] = {0, 2, 1};
        d.DrawIndexed(std::span<const ScreenVertex>(v),
                      clockwise ? std::span<const uint16_t>(cw) : std::span<const uint16_t>(ccw));
    };
    // World triangles under an identity camera: y up in the world is up on screen.
    auto worldTriangle = [&](float x, bool clockwise, ColourArgb colour) {
        // Pixel x..x+80, rows 110..190 mapped into normalised device coordinates.
        auto nx = [](float px) { return px / 400.0f - 1.0f; };
        auto ny = [](float py) { return 1.0f - py / 300.0f; };
        const QuadVertex v[3] = {{nx(x), ny(110), 0.5f, colour, 0, 0},
                                 {nx(x + 80), ny(110), 0.5f, colour, 0, 0},
                                 {nx(x), ny(190), 0.5f, colour, 0, 0}};
        const uint16_t cw[3] = {0, 1, 2}, ccw[3] = {0, 2, 1};
        d.DrawIndexed(std::span<const QuadVertex>(v),
                      clockwise ? std::span<const uint16_t>(cw) : std::span<const uint16_t>(ccw));
    };
    const uint32_t modes[3] = {CullCounterClockwise, CullClockwise, CullNone};
    for (int m = 0; m < 3; ++m) {
        d.SetRenderState(RenderState::CullMode, modes[m]);
        triangle(float(m * 200), true, Red);
        triangle(float(m * 200 + 100), false, Green);
        worldTriangle(float(m * 200), true, Red);
        worldTriangle(float(m * 200 + 100), false, Green);
    }
    Read();
    for (int row : {30, 130}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(At(20, row), 0xFF0000u);  // counter-clockwise culled: clockwise stays
        EXPECT_EQ(At(120, row), 0x000000u);
        EXPECT_EQ(At(220, row), 0x000000u);  // clockwise culled
        EXPECT_EQ(At(320, row), 0x00FF00u);
        EXPECT_EQ(At(420, row), 0xFF0000u);  // none culled
        EXPECT_EQ(At(520, row), 0x00FF00u);
    }
}

// A texture whose every texel is distinct, so a read-back shows which texel landed on which pixel.
std::vector<uint8_t> CodedPixels(int width, int height) {
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = uint8_t((x >> 8) | ((y >> 8) << 4) | (((x ^ y) & 1) << 7));
            p[3] = 255;
        }
    return rgba;
}

TEST_F(GfxTest, FullClientQuadMapsTexelsOneToOne) {
    GraphicsDevice& d = device();
    const std::vector<uint8_t> coded = CodedPixels(800, 600);
    auto texture = d.CreateTextureFromPixels(800, 600, coded);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Width(), 800);
    EXPECT_EQ(texture->Height(), 600);
    for (uint32_t filter : {FilterPoint, FilterLinear}) {
        SCOPED_TRACE(filter);
        d.SetTexture(0, texture.get());
        d.SetTextureStageState(0, TextureStageState::MagFilter, filter);
        d.SetTextureStageState(0, TextureStageState::MinFilter, filter);
        d.SetTextureStageState(0, TextureStageState::AddressU, AddressClamp);
        d.SetTextureStageState(0, TextureStageState::AddressV, AddressClamp);
        d.Clear(ClearTarget, 0xFF000000, 1);
        // The placement of a full-client picture at centre (0.5, 0.5), size (1, 1), half-pixel shift.
        ASSERT_EQ(ScreenQuad(-0.5f, -0.5f, 799.5f, 599.5f, 0.9f, 0xFFFFFFFF), S_OK);
        Read();
        int mismatches = 0;
        for (size_t i = 0; i < coded.size(); ++i) mismatches += pixels[i] != coded[i];
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(GfxTest, SceneLightGivesAmbientShareAwayFromTheLightAndFullTowardsIt) {
    GraphicsDevice& d = device();
    SetGameCamera(d);
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    FacingSquare(1.5f, vertices, indices);
    d.SetRenderState(RenderState::Lighting, 1);
    d.SetRenderState(RenderState::Ambient, 0x8C8C8C8C);  // 140 in every byte
    Material material;
    material.diffuse = material.ambient = {1.0f, 0.5f, 0.25f, 1};
    d.SetMaterial(material);
    Light light;
    light.diffuse = {0.55f, 0.55f, 0.55f, 1};
    light.specular = {1, 1, 1, 1};
    light.direction = {0, 0, 1};  // shining into the scene, onto the face turned to the camera
    d.SetLight(0, light);
    d.LightEnable(0, true);
    d.SetTransform(TransformKind::World, MatrixTranslation(-2, 0, 0));
    ASSERT_EQ(d.DrawIndexed(vertices, indices), S_OK);
    light.direction = {0, 0, -1};  // from behind: the face sees only the ambient light
    d.SetLight(0, light);
    d.SetTransform(TransformKind::World, MatrixTranslation(2, 0, 0));
    ASSERT_EQ(d.DrawIndexed(vertices, indices), S_OK);
    Read();
    const int lit = 400 - 130, dark = 400 + 130;
    const float ambient = 140.0f / 255.0f;
    const float towards[3] = {std::min(1.0f, (ambient + 0.55f) * 1.0f),
                              std::min(1.0f, (ambient + 0.55f) * 0.5f),
                              std::min(1.0f, (ambient + 0.55f) * 0.25f)};
    const float away[3] = {ambient * 1.0f, ambient * 0.5f, ambient * 0.25f};
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(Channel(lit, 300, c), towards[c] * 255, 1.01) << c;
        EXPECT_NEAR(Channel(dark, 300, c), away[c] * 255, 1.01) << c;
    }
    EXPECT_EQ(Channel(lit, 300, 0), 255);
    EXPECT_EQ(Channel(dark, 300, 0), 140);
}

TEST_F(GfxTest, SpecularHighlightOnlyWhenEnabled) {
    GraphicsDevice& d = device();
    SetGameCamera(d);
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    // A finely divided square, so the per-vertex highlight has vertices to show it.
    const int steps = 16;
    for (int y = 0; y <= steps; ++y)
        for (int x = 0; x <= steps; ++x)
            vertices.push_back({-2 + 4.0f * x / steps, 2 - 4.0f * y / steps, 0, 0, 0, -1, 0, 0});
    for (int y = 0; y < steps; ++y)
        for (int x = 0; x < steps; ++x) {
            const uint32_t a = uint32_t(y * (steps + 1) + x), b = a + 1, c = a + steps + 1, e = c + 1;
            for (uint32_t i : {a, b, c, c, b, e}) indices.push_back(i);
        }
    d.SetRenderState(RenderState::Lighting, 1);
    Material material;
    material.diffuse = material.ambient = {0.4f, 0.4f, 0.4f, 1};
    material.specular = {1, 1, 1, 1};
    material.power = 40;
    d.SetMaterial(material);
    Light light;
    light.diffuse = {0.5f, 0.5f, 0.5f, 1};
    light.specular = {1, 1, 1, 1};
    light.direction = {0, 0, 1};
    d.SetLight(0, light);
    d.LightEnable(0, true);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        d.SetRenderState(RenderState::SpecularEnable, pass);
        d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        ASSERT_EQ(d.DrawIndexed(vertices, indices), S_OK);
        Read();
        const int diffuse = int(std::lround(0.4f * 0.5f * 255));
        const int centre = Channel(400, 300, 1), edge = Channel(400 + 170, 300 + 170, 1);
        if (pass == 0) {
            EXPECT_NEAR(centre, diffuse, 1);
            EXPECT_NEAR(edge, diffuse, 1);
        } else {
            // Towards the eye the half vector meets the normal: full white; off-axis it falls away.
            EXPECT_EQ(centre, 255);
            EXPECT_GT(edge, diffuse - 1);
            EXPECT_LT(edge, centre - 40);
        }
    }
}

TEST_F(GfxTest, VertexColourFeedsLightingOnlyWhenColourVertexIsOn) {
    GraphicsDevice& d = device();
    // World quads carry no normal: lit, they show the ambient share of their colour source.
    d.SetRenderState(RenderState::Lighting, 1);
    d.SetRenderState(RenderState::Ambient, 0xFF808080);
    Material material;
    material.diffuse = material.ambient = {0, 0, 1, 1};
    d.SetMaterial(material);
    const QuadVertex quad[4] = {{-1, -1, 0.5f, 0xFFFF0000, 0, 0},
                                {0, -1, 0.5f, 0xFFFF0000, 0, 0},
                                {-1, 1, 0.5f, 0xFFFF0000, 0, 0},
                                {0, 1, 0.5f, 0xFFFF0000, 0, 0}};
    const uint16_t indices[6] = {2, 3, 0, 1, 0, 3};
    d.SetRenderState(RenderState::ColourVertex, 1);
    d.DrawIndexed(std::span<const QuadVertex>(quad), indices);
    d.SetRenderState(RenderState::ColourVertex, 0);
    d.SetTransform(TransformKind::World, MatrixTranslation(1, 0, 0));
    d.DrawIndexed(std::span<const QuadVertex>(quad), indices);
    // Unlit, the vertex colour is drawn as it is.
    d.SetRenderState(RenderState::Lighting, 0);
    d.SetTransform(TransformKind::World, MatrixTranslation(0.5f, 0, -0.1f));
    const QuadVertex strip[4] = {{-0.1f, -0.1f, 0.5f, 0xFF00FF00, 0, 0},
                                 {0.1f, -0.1f, 0.5f, 0xFF00FF00, 0, 0},
                                 {-0.1f, 0.1f, 0.5f, 0xFF00FF00, 0, 0},
                                 {0.1f, 0.1f, 0.5f, 0xFF00FF00, 0, 0}};
    d.DrawIndexed(std::span<const QuadVertex>(strip), indices);
    Read();
    EXPECT_EQ(At(200, 100), 0x800000u);
    EXPECT_EQ(At(600, 100), 0x000080u);
    EXPECT_EQ(At(600, 300), 0x00FF00u);
}

TEST_F(GfxTest, BlendFactorsCombineSourceAndDestination) {
    GraphicsDevice& d = device();
    const uint32_t factors[6] = {BlendZero,         BlendOne,      BlendSrcColour,
                                 BlendInvSrcColour, BlendSrcAlpha, BlendInvSrcAlpha};
    const ColourArgb sourceArgb = 0x40CC6600;  // alpha 64, red 204, green 102, blue 0
    ScreenQuad(-0.5f, -0.5f, 599.5f, 599.5f, 0.5f, 0xFF3399FF);
    d.SetRenderState(RenderState::AlphaBlendEnable, 1);
    d.SetRenderState(RenderState::ZFunc, CmpAlways);
    for (int s = 0; s < 6; ++s)
        for (int t = 0; t < 6; ++t) {
            d.SetRenderState(RenderState::SrcBlend, factors[s]);
            d.SetRenderState(RenderState::DestBlend, factors[t]);
            ScreenQuad(s * 100 - 0.5f, t * 100 - 0.5f, s * 100 + 99.5f, t * 100 + 99.5f, 0.5f, sourceArgb);
        }
    Read();
    const float src[4] = {204 / 255.0f, 102 / 255.0f, 0, 64 / 255.0f};
    const float dst[3] = {0x33 / 255.0f, 0x99 / 255.0f, 1.0f};
    auto factor = [&](uint32_t f, int c) {
        switch (f) {
            case BlendZero:
                return 0.0f;
            case BlendOne:
                return 1.0f;
            case BlendSrcColour:
                return src[c];
            case BlendInvSrcColour:
                return 1 - src[c];
            case BlendSrcAlpha:
                return src[3];
            default:
                return 1 - src[3];
        }
    };
    for (int s = 0; s < 6; ++s)
        for (int t = 0; t < 6; ++t)
            for (int c = 0; c < 3; ++c) {
                const float expected =
                    std::min(1.0f, src[c] * factor(factors[s], c) + dst[c] * factor(factors[t], c));
                EXPECT_NEAR(Channel(s * 100 + 50, t * 100 + 50, c), expected * 255, 1.01)
                    << "source " << factors[s] << " destination " << factors[t] << " channel " << c;
            }
}

TEST_F(GfxTest, AddressingWrapsOrClampsAndAMissingTextureReadsWhite) {
    GraphicsDevice& d = device();
    // Two texels: red on the left, green on the right.
    const uint8_t twoTexels[8] = {255, 0, 0, 255, 0, 255, 0, 255};
    auto texture = d.CreateTextureFromPixels(2, 1, twoTexels);
    ASSERT_NE(texture, nullptr);
    d.SetTexture(0, texture.get());
    // u from -1 to 2 across 300 pixels: each 50-pixel run is one texel width.
    ScreenQuad(-0.5f, -0.5f, 299.5f, 99.5f, 0.5f, 0xFFFFFFFF, -1, 0, 2, 1);
    d.SetTextureStageState(0, TextureStageState::AddressU, AddressClamp);
    ScreenQuad(-0.5f, 99.5f, 299.5f, 199.5f, 0.5f, 0xFFFFFFFF, -1, 0, 2, 1);
    // Without a texture the stage reads opaque white: modulate shows the diffuse colour, select shows white.
    d.SetTexture(0, nullptr);
    EXPECT_EQ(d.GetTexture(0), nullptr);
    ScreenQuad(399.5f, -0.5f, 499.5f, 99.5f, 0.5f, 0xFF2050A0);
    d.SetTextureStageState(0, TextureStageState::ColourOp, OpSelectArg1);
    ScreenQuad(499.5f, -0.5f, 599.5f, 99.5f, 0.5f, 0xFF2050A0);
    d.SetTextureStageState(0, TextureStageState::ColourOp, OpSelectArg2);
    ScreenQuad(599.5f, -0.5f, 699.5f, 99.5f, 0.5f, 0xFF2050A0);
    Read();
    const uint32_t wrapped[6] = {0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00};
    const uint32_t clamped[6] = {0xFF0000, 0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00, 0x00FF00};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(At(i * 50 + 25, 50), wrapped[i]) << i;
        EXPECT_EQ(At(i * 50 + 25, 150), clamped[i]) << i;
    }
    EXPECT_EQ(At(450, 50), 0x2050A0u);
    EXPECT_EQ(At(550, 50), 0xFFFFFFu);
    EXPECT_EQ(At(650, 50), 0x2050A0u);

    // A texture released while bound leaves the stage empty rather than dangling.
    d.SetTexture(0, texture.get());
    texture.reset();
    EXPECT_EQ(d.GetTexture(0), nullptr);
    d.SetTextureStageState(0, TextureStageState::ColourOp, OpModulate);
    EXPECT_EQ(ScreenQuad(-0.5f, -0.5f, 99.5f, 99.5f, 0.5f, 0xFF123456), S_OK);
    Read();
    EXPECT_EQ(At(50, 50), 0x123456u);
}

// Lighting and highlights as the scene sets them for the cells, with a reddish glossy material.
Material LightLikeTheScene(GraphicsDevice& d) {
    d.SetRenderState(RenderState::Lighting, 1);
    d.SetRenderState(RenderState::SpecularEnable, 1);
    d.SetRenderState(RenderState::Ambient, 0x8C8C8C8C);
    Light light;
    light.diffuse = {0.55f, 0.55f, 0.55f, 1};
    light.specular = {1, 1, 1, 1};
    light.direction = {-1, -2, 1};
    d.SetLight(0, light);
    d.LightEnable(0, true);
    Material material;
    material.diffuse = material.ambient = {0.9f, 0.3f, 0.2f, 1};
    material.specular = {1, 1, 1, 1};
    material.power = 12;
    d.SetMaterial(material);
    return material;
}

TEST_F(GfxTest, InstancedDrawingMatchesSeparateDraws) {
    GraphicsDevice& d = device();
    SetGameCamera(d);
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    Cube(vertices, indices);
    LightLikeTheScene(d);
    std::vector<Matrix> worlds;
    for (int i = 0; i < 24; ++i)
        worlds.push_back(MatrixRotationX(0.3f * i) * MatrixRotationY(0.5f * i) *
                         MatrixScaling(0.5f + 0.05f * i) *
                         MatrixTranslation(float(i % 6) * 2 - 5, float(i / 6) * 2 - 3, 10 + float(i % 3)));
    const Matrix unchanged = MatrixTranslation(100, 0, 0);
    d.SetTransform(TransformKind::World, unchanged);
    ASSERT_EQ(d.DrawIndexedInstanced(vertices, indices, worlds), S_OK);
    Matrix after;
    d.GetTransform(TransformKind::World, after);
    EXPECT_EQ(after, unchanged);
    Read();
    const std::vector<uint8_t> instanced = pixels;
    d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
    for (const Matrix& world : worlds) {
        d.SetTransform(TransformKind::World, world);
        ASSERT_EQ(d.DrawIndexed(vertices, indices), S_OK);
    }
    Read();
    EXPECT_TRUE(pixels == instanced);
    size_t drawn = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) drawn += pixels[i] != 0;
    EXPECT_GT(drawn, 10000u);
}

// Normals follow the inverse transpose of the world: a square whose normal leans up, stretched to twice
// its height, leans less and turns further towards a light shining along +z; a mirrored world lights
// the same.
TEST_F(GfxTest, NormalsFollowStretchedAndMirroredWorlds) {
    GraphicsDevice& d = device();
    SetGameCamera(d);
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    FacingSquare(0.5f, vertices, indices);
    for (MeshVertex& v : vertices) {
        v.ny = 0.6f;
        v.nz = -0.8f;
    }
    d.SetRenderState(RenderState::Lighting, 1);
    d.SetRenderState(RenderState::CullMode, CullNone);
    Material material;
    material.diffuse = material.ambient = {1, 1, 1, 1};
    d.SetMaterial(material);
    Light light;
    light.diffuse = {1, 1, 1, 1};
    light.direction = {0, 0, 1};
    d.SetLight(0, light);
    d.LightEnable(0, true);
    Matrix stretched = MatrixIdentity();
    stretched.m[1][1] = 2;
    d.SetTransform(TransformKind::World, stretched * MatrixTranslation(-1.5f, 0, 0));
    ASSERT_EQ(d.DrawIndexed(vertices, indices), S_OK);
    Matrix mirrored = MatrixIdentity();
    mirrored.m[0][0] = -1;
    d.SetTransform(TransformKind::World, mirrored * MatrixTranslation(1.5f, 0, 0));
    ASSERT_EQ(d.DrawIndexed(vertices, indices), S_OK);
    Read();
    // Stretched: (0, 0.6 / 2, -0.8) normalised faces the light by 0.936; mirrored: unchanged, 0.8.
    EXPECT_NEAR(Channel(400 - 170, 300, 0), 0.9363 * 255, 1.5);
    EXPECT_NEAR(Channel(400 + 170, 300, 0), 0.8 * 255, 1.5);
}

// Draws with different switches (lit, unlit, textured, screen vertices) use different programs; inputs
// changed while another program was in use still reach the next lit draw.
TEST_F(GfxTest, InputsChangedBetweenDifferentlySwitchedDrawsStillArrive) {
    GraphicsDevice& d = device();
    SetGameCamera(d);
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    FacingSquare(0.5f, vertices, indices);
    Light light;
    light.diffuse = {1, 1, 1, 1};
    light.direction = {0, 0, 1};
    d.SetLight(0, light);
    d.LightEnable(0, true);
    Material material;
    material.diffuse = material.ambient = {1, 0, 0, 1};
    d.SetRenderState(RenderState::Lighting, 1);
    d.SetMaterial(material);
    d.SetTransform(TransformKind::World, MatrixTranslation(-1.5f, 0, 0));
    ASSERT_EQ(d.DrawIndexed(vertices, indices), S_OK);
    // Unlit and pre-transformed draws in between, while the material, the light and the view change.
    d.SetRenderState(RenderState::Lighting, 0);
    ASSERT_EQ(ScreenQuad(0, 0, 10, 10, 0.5f, Blue), S_OK);
    material.diffuse = material.ambient = {0, 1, 0, 1};
    d.SetMaterial(material);
    light.diffuse = {0.5f, 0.5f, 0.5f, 1};
    d.SetLight(0, light);
    d.SetTransform(TransformKind::View, MatrixLookAtLH({0, 0, -6}, {0, 0, 22}, {0, 1, 0}));
    d.SetTransform(TransformKind::World, MatrixTranslation(0, 1.5f, 0));
    ASSERT_EQ(d.DrawIndexed(vertices, indices), S_OK);
    d.SetRenderState(RenderState::Lighting, 1);
    d.SetTransform(TransformKind::World, MatrixTranslation(1.5f, 0, 0));
    ASSERT_EQ(d.DrawIndexed(vertices, indices), S_OK);
    Read();
    EXPECT_EQ(At(400 - 170, 300), 0xFF0000u);
    EXPECT_EQ(At(5, 5), 0x0000FFu);
    EXPECT_EQ(At(400, 300 - 181), 0xFFFFFFu);
    // The last square: green at half the light, seen from one unit further back (centred at x 581).
    EXPECT_EQ(At(581, 300), 0x008000u);
}

// A kept layer: lit cubes with highlights, some behind and some in front of a quad drawn before them,
// sliced by a square drawn after them. Drawn in place, drawn into the kept layer, and copied back from
// it, the picture is the same to the bit, whatever lies before the layer in the frame.
class KeptLayer : public GfxTest {
protected:
    void SetUp() override {
        GfxTest::SetUp();
        Cube(vertices, indices);
        FacingSquare(6, squareVertices, squareIndices);
        for (int i = 0; i < 30; ++i)
            worlds.push_back(
                MatrixRotationX(0.3f * i) * MatrixRotationY(0.5f * i) * MatrixScaling(0.9f + 0.03f * i) *
                MatrixTranslation(float(i % 6) * 1.6f - 4, float(i / 6) * 1.6f - 3, 9 + 0.4f * float(i % 4)));
    }

    HResult DrawCubes() {
        GraphicsDevice& d = device();
        Material material = LightLikeTheScene(d);
        HResult result =
            d.DrawStaticIndexed(cubes, 0, vertices, indices, std::span<const Matrix>(worlds).first(18));
        material.diffuse = material.ambient = {0.2f, 0.5f, 0.9f, 1};
        d.SetMaterial(material);
        if (result == S_OK)
            result =
                d.DrawStaticIndexed(cubes, 1, vertices, indices, std::span<const Matrix>(worlds).subspan(18));
        d.SetRenderState(RenderState::SpecularEnable, 0);
        d.SetRenderState(RenderState::Lighting, 0);
        return result;
    }

    // prior: the quad before the layer reaches this far right; layer: draw the cubes as a kept layer.
    void Frame(float priorRight, bool layer) {
        GraphicsDevice& d = device();
        d.BeginScene();
        d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        SetGameCamera(d);
        // Depth 0.905 lies between the nearest cubes and the farther ones.
        ScreenQuad(-0.5f, 99.5f, priorRight, 499.5f, 0.905f, Blue);
        if (layer) d.BeginLayer();
        ASSERT_EQ(DrawCubes(), S_OK);
        if (layer) d.EndLayer();
        // A square slicing through the cubes, drawn after them: it meets them where their depths cross.
        d.SetTransform(TransformKind::World, MatrixRotationY(0.35f) * MatrixTranslation(0, 0, 9.8f));
        ASSERT_EQ(d.DrawIndexed(squareVertices, squareIndices), S_OK);
        // And a lit cube on its own, as the falling piece is drawn after the well.
        d.SetRenderState(RenderState::Lighting, 1);
        d.SetRenderState(RenderState::SpecularEnable, 1);
        const Matrix piece[2] = {MatrixRotationY(0.7f) * MatrixTranslation(3, 3.5f, 8),
                                 MatrixRotationX(0.4f) * MatrixTranslation(-3, 3.5f, 8)};
        ASSERT_EQ(d.DrawStaticIndexed(cubes, 2, vertices, indices, piece), S_OK);
        d.SetRenderState(RenderState::SpecularEnable, 0);
        d.SetRenderState(RenderState::Lighting, 0);
        // The first cubes again, unlit (white): a hair nearer they show, a hair farther they do not.
        std::vector<Matrix> nearer, farther;
        for (size_t i = 0; i < 6; ++i) {
            nearer.push_back(worlds[i] * MatrixTranslation(0, 0, -0.002f));
            farther.push_back(worlds[i + 6] * MatrixTranslation(0, 0, 0.002f));
        }
        ASSERT_EQ(d.DrawStaticIndexed(cubes, 0, vertices, indices, nearer), S_OK);
        ASSERT_EQ(d.DrawStaticIndexed(cubes, 0, vertices, indices, farther), S_OK);
        d.EndScene();
        Read();
    }

    GlDevice::Statistics Stats() const { return dynamic_cast<GlDevice&>(device()).Stats(); }

    // Far from the numbers meshes take.
    std::shared_ptr<const uint64_t> cubes = std::make_shared<const uint64_t>(uint64_t(1) << 40);
    std::vector<MeshVertex> vertices, squareVertices;
    std::vector<uint32_t> indices, squareIndices;
    std::vector<Matrix> worlds;
};

TEST_F(KeptLayer, CopiedBackEqualsDrawnInPlaceOverWhateverCameBefore) {
    Frame(600, false);
    const std::vector<uint8_t> inPlace = pixels;
    const GlDevice::Statistics before = Stats();
    Frame(600, true);
    EXPECT_TRUE(pixels == inPlace);
    Frame(600, true);
    EXPECT_TRUE(pixels == inPlace);
    EXPECT_EQ(Stats().layerPaints - before.layerPaints, 1u);
    EXPECT_EQ(Stats().layerReuses - before.layerReuses, 1u);

    // What lies beneath changes, the layer does not: still copied back, still the in-place picture.
    Frame(300, false);
    const std::vector<uint8_t> otherInPlace = pixels;
    EXPECT_FALSE(otherInPlace == inPlace);
    Frame(300, true);
    EXPECT_TRUE(pixels == otherInPlace);
    EXPECT_EQ(Stats().layerReuses - before.layerReuses, 2u);

    // One cube moved: drawn again.
    worlds[4] = worlds[4] * MatrixTranslation(0.3f, 0, 0);
    Frame(300, false);
    const std::vector<uint8_t> moved = pixels;
    Frame(300, true);
    EXPECT_TRUE(pixels == moved);
    EXPECT_EQ(Stats().layerPaints - before.layerPaints, 2u);
    size_t lit = 0, white = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        lit += pixels[i] > 40;
        white += pixels[i] == 255 && pixels[i + 1] == 255 && pixels[i + 2] == 255;
    }
    EXPECT_GT(lit, 20000u);
    EXPECT_GT(white, 5000u);
}

// A layer's undrawn pixels are those left at the cleared depth, so one reaching the far plane, where a
// pixel drawn could keep that depth, is drawn in place.
TEST_F(KeptLayer, MeshesAtTheFarPlaneAreDrawnInPlace) {
    GraphicsDevice& d = device();
    auto frame = [&](bool layer) {
        d.BeginScene();
        d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        SetGameCamera(d);
        if (layer) d.BeginLayer();
        const Matrix farAway[1] = {MatrixScaling(40) * MatrixTranslation(0, 0, 94.9999f)};
        ASSERT_EQ(d.DrawStaticIndexed(cubes, 3, squareVertices, squareIndices, farAway), S_OK);
        if (layer) d.EndLayer();
        d.EndScene();
        Read();
    };
    frame(false);
    const std::vector<uint8_t> inPlace = pixels;
    size_t drawn = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) drawn += pixels[i] > 0;
    EXPECT_GT(drawn, 100000u);
    const GlDevice::Statistics before = Stats();
    frame(true);
    EXPECT_TRUE(pixels == inPlace);
    EXPECT_EQ(Stats().layerPaints, before.layerPaints);
}

TEST_F(KeptLayer, DrawsThatReadThePictureBeneathAreDrawnInPlace) {
    GraphicsDevice& d = device();
    // Blended cubes: the layer would have to know the colours beneath.
    auto blendedFrame = [&](bool layer) {
        d.BeginScene();
        d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        SetGameCamera(d);
        ScreenQuad(-0.5f, 99.5f, 600, 499.5f, 0.95f, Green);
        d.SetRenderState(RenderState::AlphaBlendEnable, 1);
        d.SetRenderState(RenderState::SrcBlend, BlendOne);
        d.SetRenderState(RenderState::DestBlend, BlendInvSrcColour);
        if (layer) d.BeginLayer();
        ASSERT_EQ(DrawCubes(), S_OK);
        if (layer) d.EndLayer();
        d.SetRenderState(RenderState::AlphaBlendEnable, 0);
        d.EndScene();
        Read();
    };
    blendedFrame(false);
    const std::vector<uint8_t> inPlace = pixels;
    const GlDevice::Statistics before = Stats();
    blendedFrame(true);
    EXPECT_TRUE(pixels == inPlace);
    blendedFrame(true);
    EXPECT_TRUE(pixels == inPlace);
    EXPECT_EQ(Stats().layerPaints, before.layerPaints);
    EXPECT_EQ(Stats().layerReuses, before.layerReuses);

    // A streamed draw inside a layer goes after the draws recorded before it, as it would in place.
    auto mixedFrame = [&](bool layer) {
        d.BeginScene();
        d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        SetGameCamera(d);
        if (layer) d.BeginLayer();
        ASSERT_EQ(DrawCubes(), S_OK);
        d.SetRenderState(RenderState::ZFunc, CmpAlways);
        ASSERT_EQ(ScreenQuad(350, 250, 450, 350, 0.99f, Red), S_OK);
        d.SetRenderState(RenderState::ZFunc, CmpLessEqual);
        if (layer) d.EndLayer();
        d.EndScene();
        Read();
    };
    mixedFrame(false);
    const std::vector<uint8_t> mixedInPlace = pixels;
    EXPECT_EQ(At(400, 300), 0xFF0000u);
    mixedFrame(true);
    EXPECT_TRUE(pixels == mixedInPlace);
    EXPECT_EQ(Stats().layerPaints, before.layerPaints);
}

// Everything a kept draw reads besides its geometry decides whether the kept picture may be copied
// back: a layer whose draws keep their geometry but change their material, texture or world transform
// is painted again and shows what drawing in place shows.
TEST_F(KeptLayer, AChangedMaterialTextureOrWorldIsPaintedAgain) {
    GraphicsDevice& d = device();
    const uint8_t redTexel[4] = {255, 0, 0, 255}, greenTexel[4] = {0, 255, 0, 255};
    std::unique_ptr<Texture> red = d.CreateTextureFromPixels(1, 1, redTexel);
    std::unique_ptr<Texture> green = d.CreateTextureFromPixels(1, 1, greenTexel);
    ASSERT_TRUE(red && green);
    struct Inputs {
        Material material;
        Texture* texture;
        Matrix world;
    };
    auto frame = [&](const Inputs& inputs, bool layer) {
        d.BeginScene();
        d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        SetGameCamera(d);
        LightLikeTheScene(d);
        d.SetMaterial(inputs.material);
        d.SetTexture(0, inputs.texture);
        d.SetTransform(TransformKind::World, inputs.world);
        if (layer) d.BeginLayer();
        ASSERT_EQ(d.DrawStaticIndexed(cubes, 4, vertices, indices, {}), S_OK);
        if (layer) d.EndLayer();
        d.SetTexture(0, nullptr);
        d.SetRenderState(RenderState::SpecularEnable, 0);
        d.SetRenderState(RenderState::Lighting, 0);
        d.EndScene();
        Read();
    };
    Inputs first{LightLikeTheScene(d), red.get(), MatrixRotationY(0.5f) * MatrixTranslation(0, 0, 9)};
    Inputs recoloured = first, retextured = first, moved = first;
    recoloured.material.diffuse = recoloured.material.ambient = {0.2f, 0.5f, 0.9f, 1};
    retextured.texture = green.get();
    moved.world = MatrixRotationY(0.5f) * MatrixTranslation(1, 0, 9);
    for (const auto& [what, changed] :
         {std::pair{"material", recoloured}, std::pair{"texture", retextured}, std::pair{"world", moved}}) {
        frame(changed, false);
        const std::vector<uint8_t> changedInPlace = pixels;
        frame(first, false);
        const std::vector<uint8_t> firstInPlace = pixels;
        ASSERT_FALSE(changedInPlace == firstInPlace) << what;
        frame(first, true);
        frame(first, true);  // kept and copied back
        EXPECT_TRUE(pixels == firstInPlace) << what;
        const GlDevice::Statistics before = Stats();
        frame(changed, true);
        EXPECT_TRUE(pixels == changedInPlace) << what << " changed, yet the kept picture came back";
        EXPECT_EQ(Stats().layerPaints - before.layerPaints, 1u) << what;
    }
}

TEST_F(GfxTest, MalformedDrawsAndStatesAreRefused) {
    GraphicsDevice& d = device();
    const ScreenVertex v[3] = {};
    const uint16_t outside[3] = {0, 1, 3};
    EXPECT_TRUE(Failed(d.DrawIndexed(std::span<const ScreenVertex>(v), outside)));
    EXPECT_TRUE(Failed(d.DrawIndexed(std::span<const ScreenVertex>(v), std::span<const uint16_t>())));
    std::vector<MeshVertex> none;
    const uint32_t big[3] = {0, 1, 2};
    EXPECT_TRUE(Failed(d.DrawIndexed(std::span<const MeshVertex>(none), big)));
    EXPECT_TRUE(Failed(d.SetRenderState(RenderState::CullMode, 9)));
    EXPECT_EQ(d.GetRenderState(RenderState::CullMode), uint32_t(CullCounterClockwise));
    EXPECT_TRUE(Failed(d.SetTextureStageState(1, TextureStageState::ColourOp, OpModulate)));
    EXPECT_TRUE(Failed(d.SetLight(1, Light{})));
    EXPECT_TRUE(Failed(d.EndScene()));
    EXPECT_EQ(d.BeginScene(), S_OK);
    EXPECT_TRUE(Failed(d.BeginScene()));
    EXPECT_EQ(d.EndScene(), S_OK);
    EXPECT_TRUE(Failed(d.Clear(0, 0, 1)));
    EXPECT_EQ(d.CreateTextureFromPixels(0, 4, {}), nullptr);
    const uint8_t short_[4] = {};
    EXPECT_EQ(d.CreateTextureFromPixels(2, 2, short_), nullptr);
    Viewport viewport;
    ASSERT_EQ(d.GetViewport(viewport), S_OK);
    EXPECT_EQ(viewport.width, 800);
    EXPECT_EQ(viewport.height, 600);
}

// A layer that only gains draws (a piece comes to rest) has them painted over the kept picture, and
// still shows what drawing everything in place shows; one that loses a draw is painted afresh.
TEST_F(KeptLayer, DrawsAddedToAKeptLayerArePaintedOverIt) {
    const std::vector<Matrix> all = worlds;
    Frame(600, false);
    const std::vector<uint8_t> allInPlace = pixels;
    struct Step {
        const char* what;
        std::vector<Matrix> worlds;
        bool added;
    };
    std::vector<Matrix> withoutOne = all;
    withoutOne.erase(withoutOne.begin() + 20);  // from the middle of the second list
    std::vector<Matrix> withoutLast = all;
    withoutLast.resize(24);
    const Step steps[] = {
        {"six cubes more at the end of a list", all, true},
        {"a cube gone", withoutOne, false},
        {"the cube back in the middle of a list", all, true},
        {"cubes gone", withoutLast, false},
    };
    worlds = withoutLast;
    Frame(600, true);
    for (const Step& step : steps) {
        worlds = step.worlds;
        Frame(600, false);
        const std::vector<uint8_t> inPlace = pixels;
        const GlDevice::Statistics before = Stats();
        Frame(600, true);
        EXPECT_TRUE(pixels == inPlace) << step.what;
        EXPECT_EQ(Stats().layerAdditions - before.layerAdditions, step.added ? 1u : 0u) << step.what;
        EXPECT_EQ(Stats().layerPaints - before.layerPaints, step.added ? 0u : 1u) << step.what;
    }
    EXPECT_TRUE(pixels != allInPlace);
    worlds = all;
}

// The scene drawn into a target of its own at a quarter of the picture's pixels and scaled up, or at
// the picture's own size: the same picture, the 2D draws at full size and in their order among the
// scene's draws, and nothing outside the picture but dark bars.
class ScaledScene : public GfxTest {
protected:
    void TearDown() override {
        Gl().SetSceneLimit(Gl().SoftwareRenderer() ? SoftwareSceneLimit : PixelExtent{});
        Gl().SetBackBufferSize(800, 600);
    }
    static GlDevice& Gl() { return dynamic_cast<GlDevice&>(device()); }

    // A world-space quad in the plane z, unlit, in the vertex colour.
    static HResult WorldQuad(float left, float bottom, float right, float top, float z, ColourArgb colour) {
        const QuadVertex vertices[4] = {{left, bottom, z, colour, 0, 1},
                                        {right, bottom, z, colour, 1, 1},
                                        {left, top, z, colour, 0, 0},
                                        {right, top, z, colour, 1, 0}};
        const uint16_t indices[6] = {2, 3, 0, 1, 0, 3};
        return device().DrawIndexed(std::span<const QuadVertex>(vertices), indices);
    }
    static void Flat(bool flat) { device().SetRenderState(RenderState::ZEnable, flat ? 0 : 1); }

    // Scene, 2D, scene (half see-through), 2D, as a frame of the game mixes them.
    void LayeredFrame() {
        GraphicsDevice& d = device();
        d.BeginScene();
        d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        SetGameCamera(d);
        ASSERT_EQ(WorldQuad(-6, -3, 0, 3, 10, Red), S_OK);
        Flat(true);
        ASSERT_EQ(ScreenQuad(300, 200, 500, 400, 0.5f, Green), S_OK);
        Flat(false);
        d.SetRenderState(RenderState::AlphaBlendEnable, 1);
        d.SetRenderState(RenderState::SrcBlend, BlendSrcAlpha);
        d.SetRenderState(RenderState::DestBlend, BlendInvSrcAlpha);
        ASSERT_EQ(WorldQuad(-1, -1, 3, 1, 9, 0x800000FF), S_OK);
        d.SetRenderState(RenderState::AlphaBlendEnable, 0);
        Flat(true);
        ASSERT_EQ(ScreenQuad(600, 100, 700, 200, 0.5f, 0xFFFFFFFF), S_OK);
        Flat(false);
        d.EndScene();
        Read();
    }
};

TEST_F(ScaledScene, ScaledUpSceneShowsWhatTheFullSizeSceneShows) {
    LayeredFrame();
    const std::vector<uint8_t> fullSize = pixels;
    EXPECT_EQ(Gl().SceneSize(), (PixelExtent{800, 600}));

    Gl().SetSceneLimit({400, 300});
    EXPECT_EQ(Gl().SceneSize(), (PixelExtent{400, 300}));
    const GlDevice::Statistics before = Gl().Stats();
    LayeredFrame();
    // The scene went into the picture before each 2D draw that followed it.
    EXPECT_EQ(Gl().Stats().sceneCopies - before.sceneCopies, 2u);
    struct Probe {
        const char* what;
        int x, y;
        uint32_t colour;
    };
    const Probe probes[] = {
        {"scene alone", 200, 300, 0xFF0000},
        {"2D over the scene", 320, 220, 0x00FF00},
        {"half see-through scene over 2D", 450, 300, 0x007F80},
        {"half see-through scene over nothing", 530, 300, 0x000080},
        {"2D over everything", 650, 150, 0xFFFFFF},
        {"nothing", 50, 50, 0x000000},
    };
    for (const Probe& probe : probes) {
        for (int channel = 0; channel < 3; ++channel) {
            const int expected = int(probe.colour >> (16 - 8 * channel) & 0xFF);
            EXPECT_NEAR(Channel(probe.x, probe.y, channel), expected, 2)
                << probe.what << ", channel " << channel;
            EXPECT_NEAR(fullSize[(size_t(probe.y) * 800 + size_t(probe.x)) * 4 + size_t(channel)], expected,
                        2)
                << probe.what << " at full size, channel " << channel;
        }
    }
    // Away from the edges, which the scaling softens, the two pictures agree everywhere.
    size_t far = 0;
    for (size_t i = 0; i < pixels.size(); ++i) far += std::abs(int(pixels[i]) - int(fullSize[i])) > 2;
    EXPECT_LT(far, 8000u);
}

// 2D draws that no later scene draw covers wait for the end of the frame: the scene reaches the picture
// in one copy, and everything lies where and in the order it was drawn.
TEST_F(ScaledScene, TwoDDrawsBesideLaterSceneDrawsWaitForOneCopy) {
    GraphicsDevice& d = device();
    Gl().SetSceneLimit({400, 300});
    const GlDevice::Statistics before = Gl().Stats();
    d.BeginScene();
    d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
    SetGameCamera(d);
    ASSERT_EQ(WorldQuad(-6, -3, -2, 3, 10, Red), S_OK);  // pixels 110..303, 155..445
    Flat(true);
    ASSERT_EQ(ScreenQuad(600, 100, 700, 200, 0.5f, Green), S_OK);
    Flat(false);
    ASSERT_EQ(WorldQuad(0, -1, 2, 1, 10, Blue), S_OK);  // pixels 400..497, 252..348
    Flat(true);
    ASSERT_EQ(ScreenQuad(420, 280, 460, 320, 0.5f, 0xFFFFFFFF), S_OK);
    Flat(false);
    d.EndScene();
    Read();
    EXPECT_EQ(Gl().Stats().sceneCopies - before.sceneCopies, 1u);
    EXPECT_EQ(At(200, 300), 0xFF0000u);
    EXPECT_EQ(At(650, 150), 0x00FF00u);
    EXPECT_EQ(At(480, 330), 0x0000FFu);
    EXPECT_EQ(At(440, 300), 0xFFFFFFu);
    EXPECT_EQ(At(550, 300), 0x000000u);
}

TEST_F(ScaledScene, APictureInsideALargerBackBufferLeavesDarkBars) {
    for (const PixelExtent limit : {PixelExtent{}, PixelExtent{300, 225}}) {
        Gl().SetPicture(800, 600, {100, 75, 600, 450});
        Gl().SetSceneLimit(limit);
        GraphicsDevice& d = device();
        Viewport viewport;
        d.GetViewport(viewport);
        EXPECT_EQ(viewport.width, 600);
        EXPECT_EQ(viewport.height, 450);
        d.BeginScene();
        d.Clear(ClearTarget | ClearDepth, 0xFF2040C0, 1);
        SetGameCamera(d);
        ASSERT_EQ(WorldQuad(-0.5f, -0.5f, 0.5f, 0.5f, 10, Red), S_OK);  // the middle of the view
        Flat(true);
        ASSERT_EQ(ScreenQuad(-0.5f, -0.5f, 49.5f, 49.5f, 0.5f, Green), S_OK);  // the picture's corner
        Flat(false);
        d.EndScene();
        Read();
        const std::string size = std::to_string(limit.width);
        for (const Point bar : {Point{50, 300}, Point{750, 300}, Point{400, 30}, Point{400, 570},
                                Point{99, 74}, Point{700, 525}})
            EXPECT_EQ(At(bar.x, bar.y), 0x000000u) << size << ": " << bar.x << "," << bar.y;
        EXPECT_EQ(At(120, 300), 0x2040C0u) << size;
        EXPECT_EQ(At(100, 75), 0x00FF00u) << size;
        EXPECT_EQ(At(149, 124), 0x00FF00u) << size;
        EXPECT_EQ(At(150, 125), 0x2040C0u) << size;
        EXPECT_EQ(At(400, 300), 0xFF0000u) << size;
    }
}

// A window that opens larger than a software renderer's scene limit, or in full screen, carries no
// depth buffer of its own (its scene is drawn apart, with one); a smaller one keeps its own.
TEST(GameWindow, HasADepthBufferOfItsOwnOnlyWhenItOpensSmall) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    struct Case {
        int width, height;
        bool fullScreen, depth;
    };
    for (const Case& c :
         {Case{800, 600, false, true}, Case{640, 480, false, true}, Case{1920, 1080, false, false},
          Case{1024, 600, false, false}, Case{800, 600, true, false}}) {
        GlWindowSettings settings;
        settings.title = "tests";
        settings.offscreen = true;
        settings.width = c.width;
        settings.height = c.height;
        settings.opensFullScreen = c.fullScreen;
        std::string error;
        const std::unique_ptr<GlWindow> window = GlWindow::Create(settings, error);
        ASSERT_NE(window, nullptr) << error;
        int depthBits = 0;
        const bool depth = SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depthBits) == 0 && depthBits > 0;
        EXPECT_EQ(depth, c.depth) << c.width << " x " << c.height << (c.fullScreen ? ", full screen" : "");
    }
}

TEST(SoftwareRenderer, IsToldByTheRenderersName) {
    for (const char* name : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer",
                             "SwiftShader Device (Subzero)"})
        EXPECT_TRUE(IsSoftwareRendererName(name)) << name;
    for (const char* name :
         {"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)",
          "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce GTX 1060/PCIe/SSE2", ""})
        EXPECT_FALSE(IsSoftwareRendererName(name)) << name;
}

}  // namespace
