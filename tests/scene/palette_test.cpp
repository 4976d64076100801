// The seven cell colours as the game draws them: the generated cell meshes of every block style, lit
// by the scene's light in an offscreen window, read back from the picture. In the colour games telling
// colours apart is the whole game, so every pair must stay clearly apart (CIEDE2000) for normal colour
// vision and for viewers with protanopia, deuteranopia or tritanopia.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "colour_difference.h"
#include "core/game_core.h"
#include "device/gl_window.h"
#include "scene/scene.h"

namespace {
using colour::Vision;

constexpr double NormalVisionMinimum = 25;
constexpr double ColourBlindMinimum = 12;
constexpr int PictureWidth = 800, PictureHeight = 600;
constexpr float CellHalf = 0.47f;

std::string GameDir() {
    const char* dir = std::getenv("KELVANE_GAME_DIR");
    return dir && *dir ? dir : KELVANE_GAME_DIR_DEFAULT;
}

TEST(ColourDifference, MatchesThePublishedCiede2000Pairs) {
    struct Pair {
        colour::Lab a, b;
        double difference;
    };
    // Pairs from the published test data of the formula, chosen for its hue and chroma corner cases.
    const Pair pairs[] = {
        {{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 2.0425},
        {{50, 0, 0}, {50, -1, 2}, 2.3669},
        {{50, 2.49, -0.001}, {50, -2.49, 0.0009}, 7.1792},
        {{50, 2.49, -0.001}, {50, -2.49, 0.0011}, 7.2195},
        {{50, 2.5, 0}, {73, 25, -18}, 27.1492},
        {{50, 2.5, 0}, {56, -27, -3}, 31.9030},
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
    };
    for (const Pair& p : pairs) {
        EXPECT_NEAR(colour::Ciede2000(p.a, p.b), p.difference, 1e-4);
        EXPECT_NEAR(colour::Ciede2000(p.b, p.a), p.difference, 1e-4);
    }
    // sRGB white is L* 100, and red and green look alike to a viewer without red or green cones.
    const colour::Lab white = colour::SeenAs({1, 1, 1}, Vision::Normal);
    EXPECT_NEAR(white[0], 100, 0.01);
    EXPECT_NEAR(std::hypot(white[1], white[2]), 0, 0.01);
    const colour::Rgb red{0.8, 0.3, 0.1}, green{0.45, 0.45, 0.1};
    EXPECT_GT(colour::Ciede2000(colour::SeenAs(red, Vision::Normal), colour::SeenAs(green, Vision::Normal)),
              20);
    EXPECT_LT(colour::Ciede2000(colour::SeenAs(red, Vision::Deuteranopia),
                                colour::SeenAs(green, Vision::Deuteranopia)),
              10);
}

class CellPalette : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        previousDir = std::filesystem::current_path();
        std::filesystem::current_path(GameDir());
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        std::string error;
        window = GlWindow::Create("palette", PictureWidth, PictureHeight, true, error).release();
        ASSERT_NE(window, nullptr) << error;
        meshes = new MeshLibrary;
        meshes->LoadAllMeshes(GraphicsDirectory);
        meshes->textures.LoadMeshTextures(window->Device(), GraphicsDirectory);
    }
    static void TearDownTestSuite() {
        delete meshes;
        meshes = nullptr;
        delete window;
        window = nullptr;
        SDL_Quit();
        std::filesystem::current_path(previousDir);
    }

    // The seven colours side by side in one row of the well, in the scene's light.
    void DrawRow(int style) {
        Scene scene(*meshes);
        scene.LoadCellMeshes(style);
        GameState state;
        for (int c = 0; c < ColourCount; ++c) {
            Cell& cell = state.well.cells[static_cast<size_t>(c)];
            cell.column = FirstColumn + c;
            cell.row = Row;
            cell.colour = c;
        }
        state.well.count = ColourCount;
        GraphicsDevice& device = window->Device();
        ASSERT_FALSE(Failed(SetUpSceneCamera(device)));
        device.BeginScene();
        device.Clear(ClearTarget | ClearDepth, 0xFF000000u, 1.0f);
        SetSceneLight(device, 0.55f);
        device.SetRenderState(RenderState::SpecularEnable, 1);
        ASSERT_FALSE(Failed(scene.DrawWell(device, state)));
        device.SetRenderState(RenderState::SpecularEnable, 0);
        device.EndScene();
        int width = 0, height = 0;
        ASSERT_TRUE(device.ReadPixels(pixels, width, height));
        ASSERT_EQ(width, PictureWidth);
        ASSERT_EQ(height, PictureHeight);
    }

    // The pixels of the square of half size `half` (world units) around (x, y) on the plane z.
    std::vector<colour::Rgb> Patch(float x, float y, float z, float half) {
        GraphicsDevice& device = window->Device();
        device.SetTransform(TransformKind::World, MatrixIdentity());
        ScreenPoint corners[2];
        corners[0].x = x - half, corners[0].y = y + half, corners[0].z = z;
        corners[1].x = x + half, corners[1].y = y - half, corners[1].z = z;
        ProjectToScreen(device, std::span<ScreenPoint>(corners, 2));
        std::vector<colour::Rgb> found;
        for (int py = static_cast<int>(std::ceil(corners[0].y)); py <= static_cast<int>(corners[1].y); ++py)
            for (int px = static_cast<int>(std::ceil(corners[0].x)); px <= static_cast<int>(corners[1].x);
                 ++px) {
                const uint8_t* p =
                    &pixels[(static_cast<size_t>(py) * PictureWidth + static_cast<size_t>(px)) * 4];
                found.push_back({p[0] / 255.0, p[1] / 255.0, p[2] / 255.0});
            }
        return found;
    }

    static colour::Rgb Median(std::vector<colour::Rgb> samples) {
        colour::Rgb median{};
        for (size_t k = 0; k < 3; ++k) {
            std::vector<double> channel;
            for (const colour::Rgb& s : samples) channel.push_back(s[k]);
            std::nth_element(channel.begin(), channel.begin() + long(channel.size() / 2), channel.end());
            median[k] = channel[channel.size() / 2];
        }
        return median;
    }

    // The colour of the lit front face of cell c: its middle, or in the emblem style the corners of
    // the face around the emblem.
    colour::Rgb FaceColour(int style, int c) {
        const float x = static_cast<float>(FirstColumn + c) - 6.5f, y = 10.5f - Row;
        if (style == EmblemStyle) {
            std::vector<colour::Rgb> samples;
            for (float dx : {-0.28f, 0.28f})
                for (float dy : {-0.28f, 0.28f}) {
                    const auto corner = Patch(x + dx, y + dy, 22 - CellHalf, 0.04f);
                    samples.insert(samples.end(), corner.begin(), corner.end());
                }
            return Median(samples);
        }
        const float face = style == GemStyle ? 22 - 0.40f : 22 - CellHalf;  // the gem's table stands back
        return Median(Patch(x, y, face, 0.12f));
    }

    static constexpr int FirstColumn = 3, Row = 18;
    static constexpr int GemStyle = 3, EmblemStyle = 4;
    static inline GlWindow* window = nullptr;
    static inline MeshLibrary* meshes = nullptr;
    static inline std::filesystem::path previousDir;
    std::vector<uint8_t> pixels;
};

TEST_F(CellPalette, EveryPairStaysApartForEveryKindOfVisionInEveryStyleAndEmblemsStay) {
    const char* const visionNames[] = {"normal", "protanopia", "deuteranopia", "tritanopia"};
    for (int style = 0; style < 5; ++style) {
        SCOPED_TRACE("style " + std::to_string(style + 1));
        DrawRow(style);
        std::array<colour::Rgb, ColourCount> lit{};
        std::printf("style %d lit faces:", style + 1);
        for (int c = 0; c < ColourCount; ++c) {
            lit[static_cast<size_t>(c)] = FaceColour(style, c);
            std::printf(" #%02X%02X%02X", int(std::lround(lit[size_t(c)][0] * 255)),
                        int(std::lround(lit[size_t(c)][1] * 255)), int(std::lround(lit[size_t(c)][2] * 255)));
        }
        std::printf("\n");
        for (int v = 0; v < 4; ++v) {
            const Vision vision = static_cast<Vision>(v);
            double closest = 1e9;
            int pairA = 0, pairB = 0;
            for (int a = 0; a < ColourCount; ++a)
                for (int b = a + 1; b < ColourCount; ++b) {
                    const double d = colour::Ciede2000(colour::SeenAs(lit[size_t(a)], vision),
                                                       colour::SeenAs(lit[size_t(b)], vision));
                    if (d < closest) closest = d, pairA = a, pairB = b;
                }
            std::printf("  %-13s closest pair %d/%d: %.1f\n", visionNames[v], pairA + 1, pairB + 1, closest);
            EXPECT_GE(closest, vision == Vision::Normal ? NormalVisionMinimum : ColourBlindMinimum)
                << visionNames[v] << ": colours " << pairA + 1 << " and " << pairB + 1;
        }
        // The emblem style keeps its emblem on every colour: a good part of the face is the dark symbol.
        for (int c = 0; c < ColourCount && style == EmblemStyle; ++c) {
            const auto face =
                Patch(static_cast<float>(FirstColumn + c) - 6.5f, 10.5f - Row, 22 - CellHalf, 0.36f);
            const double litSum = lit[size_t(c)][0] + lit[size_t(c)][1] + lit[size_t(c)][2];
            size_t dark = 0;
            for (const colour::Rgb& p : face) dark += p[0] + p[1] + p[2] < 0.4 * litSum;
            EXPECT_GT(dark * 10, face.size()) << "colour " << c + 1;
        }
    }
}

}  // namespace
