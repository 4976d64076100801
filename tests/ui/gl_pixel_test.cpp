// A menu screen drawn by the real GL device offscreen and read back: pictures land on exactly the
// pixels their quads name, and glyphs appear where the font lays them out.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "device/gl_window.h"
#include "persist/config.h"
#include "persist/ini.h"
#include "persist/log.h"
#include "ui/bitmap_font.h"
#include "ui/screen.h"
#include "ui/texture_registry.h"

namespace {

// Uncompressed 32-bit TGA, top row first; pixel(x, y) gives 0xAARRGGBB.
template <typename Pixel>
void WriteTga(const std::string& path, int width, int height, Pixel pixel) {
    std::vector<uint8_t> bytes = {0,
                                  0,
                                  2,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  uint8_t(width),
                                  uint8_t(width >> 8),
                                  uint8_t(height),
                                  uint8_t(height >> 8),
                                  32,
                                  0x28};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = pixel(x, y);
            bytes.insert(bytes.end(),
                         {uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16), uint8_t(argb >> 24)});
        }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class GlWindowAdapter : public Window {
public:
    explicit GlWindowAdapter(GlWindow& window) : window(window) {}
    int ClientWidth() const override { return window.ClientWidth(); }
    int ClientHeight() const override { return window.ClientHeight(); }
    GlWindow& window;
};

class UiPixelTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        std::string error;
        glWindow = GlWindow::Create("ui tests", 800, 600, true, error);
        ASSERT_NE(glWindow, nullptr) << error;
        adapter = std::make_unique<GlWindowAdapter>(*glWindow);

        oldDirectory = std::filesystem::current_path();
        directory = std::filesystem::temp_directory_path() / ("kelvane_ui_gl_" + std::to_string(::getpid()));
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory / "Graphics");
        std::filesystem::current_path(directory);
        ResetLogState();
        IniForgetCache();
        SetLanguageName("ENGLISH");
        textureRegistry.BindDevice(adapter.get(), &glWindow->Device());
    }
    void TearDown() override {
        textureRegistry.DeleteAllTexturesMIPMAP();
        textureRegistry.BindDevice(nullptr, nullptr);
        bitmapFont.Reset();
        glWindow.reset();
        SDL_Quit();
        std::filesystem::current_path(oldDirectory);
        std::filesystem::remove_all(directory);
        ResetLogState();
    }
    uint32_t At(int x, int y) const {
        const uint8_t* p = &pixels[(size_t(y) * 800 + size_t(x)) * 4];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }

    std::unique_ptr<GlWindow> glWindow;
    std::unique_ptr<GlWindowAdapter> adapter;
    std::filesystem::path oldDirectory, directory;
    std::vector<uint8_t> pixels;
};

TEST_F(UiPixelTest, PictureAndGlyphLandOnTheirPixels) {
    WriteTga("Graphics/red.tga", 64, 32, [](int, int) { return 0xFFFF0000u; });
    // Cell 0 of the font is solid white, every other cell transparent.
    WriteTga("Graphics/font01.tga", 256, 256,
             [](int x, int y) { return x < 16 && y < 32 ? 0xFFFFFFFFu : 0u; });
    std::ofstream("language.ini") << "[ENGLISH]\r\nSymbolList=A\r\nLine01_Width=16\r\n";
    std::ofstream("menu-test.xml")
        << "<Screen><Image img=\"Graphics\\red.tga\" stretch=\"no\" xc=\"0.25\" yc=\"0.25\"/>"
           "<Text text=\"A\" align=\"left\" xc=\"0.5\" yc=\"0.75\" size=\"0.1\"/></Screen>";
    bitmapFont.LoadSymbolWidths("Graphics\\font01.tga");
    ASSERT_NE(bitmapFont.FontTexture(), nullptr);
    Screen screen;
    ASSERT_EQ(screen.LoadFromXml("menu-test.xml"), 1);

    GraphicsDevice& device = glWindow->Device();
    device.Clear(ClearTarget | ClearDepth, 0xFF000000u, 1.0f);
    device.BeginScene();
    screen.Draw();
    device.EndScene();
    int width = 0, height = 0;
    ASSERT_TRUE(device.ReadPixels(pixels, width, height));
    ASSERT_EQ(width, 800);
    ASSERT_EQ(height, 600);

    // The 64 x 32 picture centred on (200, 150) covers pixels 168..231 and 134..165 exactly.
    EXPECT_EQ(At(168, 134), 0xFF0000u);
    EXPECT_EQ(At(231, 165), 0xFF0000u);
    EXPECT_EQ(At(200, 150), 0xFF0000u);
    EXPECT_EQ(At(167, 150), 0x000000u);
    EXPECT_EQ(At(232, 150), 0x000000u);
    EXPECT_EQ(At(200, 133), 0x000000u);
    EXPECT_EQ(At(200, 166), 0x000000u);

    // The glyph cell is 30 x 60 pixels (size 0.1 of 600, aspect of a 16 x 32 cell), left edge at 400.
    EXPECT_EQ(At(415, 450), 0xFFFFFFu);
    EXPECT_EQ(At(401, 425), 0xFFFFFFu);
    EXPECT_EQ(At(398, 450), 0x000000u);
    EXPECT_EQ(At(432, 450), 0x000000u);
    EXPECT_EQ(At(415, 418), 0x000000u);
    EXPECT_EQ(At(415, 482), 0x000000u);
}

}  // namespace
