#include <gmock/gmock.h>

#include <functional>

#include "ui_test_support.h"

namespace {

constexpr ColourArgb White = 0xFFFFFFFFu;
const char* const FontPath = "Graphics\\font01.tga";

// Quad centre and size in pixels from a draw's vertices (four per quad).
struct PixelQuad {
    float cx, cy, w, h, uLeft, vTop, uRight, vBottom;
};
std::vector<PixelQuad> Quads(const FakeDevice::Draw& draw) {
    std::vector<PixelQuad> quads;
    for (size_t i = 0; i + 3 < draw.vertices.size(); i += 4) {
        const ScreenVertex& lb = draw.vertices[i];
        const ScreenVertex& rt = draw.vertices[i + 3];
        quads.push_back({(lb.x + rt.x) / 2 + 0.5f, (lb.y + rt.y) / 2 + 0.5f, rt.x - lb.x, lb.y - rt.y, lb.u,
                         rt.v, rt.u, lb.v});
    }
    return quads;
}

class FontTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        // A 256 x 256 font: cells 16 x 32 pixels.
        device.AddFile("Graphics/font01.tga", 256, 256);
    }
    void Load(const std::string& section) {
        WriteFile("language.ini", "[ENGLISH]\r\n" + section);
        IniForgetCache();
        bitmapFont.LoadSymbolWidths(FontPath);
        device.ClearRecord();
    }
    // cellW for the 256 x 256 font on the 800 x 600 window.
    static float CellW(float size) { return size * (16.0f / 800) / (32.0f / 600); }
};

TEST_F(FontTest, ProportionalLayoutOfTheTwoLetterExample) {
    Load("SymbolList=AB\r\nLine01_Width=16,8\r\n");
    const float size = 0.04f, cellW = CellW(size);
    bitmapFont.DrawText(0.1f, 0.5f, size, White, 0, "AB");
    ASSERT_EQ(device.draws.size(), 1u);
    const auto quads = Quads(device.draws[0]);
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_NEAR(quads[0].cx, (0.1f + cellW / 2) * 800, 1e-3);
    EXPECT_NEAR(quads[1].cx - quads[0].cx, 0.75f * cellW * 800, 1e-3);
    EXPECT_NEAR(quads[0].cy, 300, 1e-3);
    // Both quads are one whole cell wide and the line high, whatever the glyph's width.
    for (const PixelQuad& q : quads) {
        EXPECT_NEAR(q.w, cellW * 800, 1e-3);
        EXPECT_NEAR(q.h, size * 600, 1e-3);
    }
    std::vector<GlyphPlacement> glyphs;
    EXPECT_NEAR(bitmapFont.Layout("AB", cellW, glyphs), cellW * 1.5f, 1e-6);
}

TEST_F(FontTest, AnchorsPlaceTheTextsEdges) {
    Load("SymbolList=AB\r\nLine01_Width=16,8\r\n");
    const float cellW = CellW(0.04f), x = 0.5f;
    // The centre of A for each anchor: A is one cell wide, the text 1.5 cells.
    const std::pair<uint32_t, float> cases[] = {{0, x + cellW / 2},
                                                {TEXT_CENTRE, x - 0.75f * cellW + cellW / 2},
                                                {TEXT_RIGHT, x - 1.5f * cellW + cellW / 2},
                                                {TEXT_CENTRE | TEXT_RIGHT, x - 1.5f * cellW + cellW / 2}};
    for (const auto& [flags, centreOfA] : cases) {
        device.ClearRecord();
        bitmapFont.DrawText(x, 0.5f, 0.04f, White, flags, "AB");
        ASSERT_EQ(device.draws.size(), 1u) << flags;
        EXPECT_NEAR(Quads(device.draws[0])[0].cx, centreOfA * 800, 1e-3) << flags;
    }
}

TEST_F(FontTest, GlyphCellsMapToTheirTextureRectangles) {
    Load("SymbolList=ABCDEFGHIJKLMNOPQR\r\n");
    bitmapFont.DrawText(0.5f, 0.5f, 0.04f, White, 0, "AR");
    const auto quads = Quads(device.draws.at(0));
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_FLOAT_EQ(quads[0].uLeft, 0.0f);
    EXPECT_FLOAT_EQ(quads[0].vTop, 0.08f / 8);
    EXPECT_FLOAT_EQ(quads[0].uRight, 0.94f / 16);
    EXPECT_FLOAT_EQ(quads[0].vBottom, 1.0f / 8);
    // R is cell 17: column 1 of row 1.
    EXPECT_FLOAT_EQ(quads[1].uLeft, 1.0f / 16);
    EXPECT_FLOAT_EQ(quads[1].vTop, 1.08f / 8);
    EXPECT_FLOAT_EQ(quads[1].uRight, 1.94f / 16);
    EXPECT_FLOAT_EQ(quads[1].vBottom, 2.0f / 8);
}

TEST_F(FontTest, UnlistedBytesTakeACellOfRoomAndDrawNothing) {
    Load("SymbolList=AB\r\nLine01_Width=16,8\r\n");
    const float cellW = CellW(0.04f);
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, TEXT_RIGHT, "A?B");
    const auto quads = Quads(device.draws.at(0));
    ASSERT_EQ(quads.size(), 2u);
    // Total 2.5 cells: A's centre half a cell from the left edge, B's after A, the gap and itself.
    EXPECT_NEAR(quads[0].cx, (0.1f - 2.5f * cellW + 0.5f * cellW) * 800, 1e-3);
    EXPECT_NEAR(quads[1].cx - quads[0].cx, (0.5f + 1.0f + 0.25f) * cellW * 800, 1e-3);

    // Without a symbol list every byte is unlisted: room, but no quads and no state changes.
    Load("Line01_Width=16,8\r\n");
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, 0, "AB");
    EXPECT_TRUE(device.calls.empty());
}

TEST_F(FontTest, RepeatedSymbolsUseTheirFirstCell) {
    Load("SymbolList=ABA\r\n");
    EXPECT_EQ(bitmapFont.GlyphIndex('A'), 0);
    EXPECT_EQ(bitmapFont.GlyphIndex('B'), 1);
    EXPECT_EQ(bitmapFont.GlyphIndex('C'), -1);
    EXPECT_EQ(bitmapFont.GlyphIndex(0xE9), -1);
}

TEST_F(FontTest, WidthRowsAreReadOncePerRun) {
    Load(
        "SymbolList=AB\r\n"
        "Line01_Width=1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17\r\n"
        "Line02_Width= 8, x, 4\r\n"
        "Line03_Width=3abc,12\r\n");
    EXPECT_FLOAT_EQ(bitmapFont.GlyphWidth(0), 1.0f / 16);
    EXPECT_FLOAT_EQ(bitmapFont.GlyphWidth(15), 1.0f);
    // The 17th number does not spill into the next row.
    EXPECT_FLOAT_EQ(bitmapFont.GlyphWidth(16), 0.5f);
    EXPECT_FLOAT_EQ(bitmapFont.GlyphWidth(17), 0.0f);
    EXPECT_FLOAT_EQ(bitmapFont.GlyphWidth(18), 0.0f);
    EXPECT_FLOAT_EQ(bitmapFont.GlyphWidth(32), 3.0f / 16);
    EXPECT_FLOAT_EQ(bitmapFont.GlyphWidth(33), 12.0f / 16);
    EXPECT_EQ(CountLog("Can't load symbol width from 'language.ini'"), 1);
    EXPECT_TRUE(bitmapFont.WidthsLoaded());

    // The next device creation refreshes the symbol list but not the widths.
    Load("SymbolList=BA\r\nLine01_Width=4,4\r\n");
    EXPECT_EQ(bitmapFont.GlyphIndex('B'), 0);
    EXPECT_FLOAT_EQ(bitmapFont.GlyphWidth(0), 1.0f / 16);
    EXPECT_EQ(CountLog("Can't load symbol width from 'language.ini'"), 1);
}

TEST_F(FontTest, WidthPiecesParseLikeTheCLibrary) {
    WidthRow row = ParseWidthRow(" 16,  8 ,4.5");
    EXPECT_FALSE(row.bad);
    EXPECT_EQ(row.count, 3);
    EXPECT_FLOAT_EQ(row.widths[2], 4.5f / 16);
    row = ParseWidthRow("16,,8");
    EXPECT_TRUE(row.bad);
    EXPECT_EQ(row.count, 1);
    EXPECT_TRUE(ParseWidthRow("nan").bad);
    EXPECT_TRUE(ParseWidthRow("1e999").bad);
    row = ParseWidthRow("8,1e93");  // a double, but too large for a float width
    EXPECT_TRUE(row.bad);
    EXPECT_EQ(row.count, 1);
    EXPECT_TRUE(ParseWidthRow("16,").bad);
    row = ParseWidthRow(std::string(1000, '9'));  // a number too large for any width
    EXPECT_TRUE(row.bad);
}

TEST_F(FontTest, TextsAreTranslatedFirst) {
    Load("SymbolList=AB\r\nPlay=BBB\r\n");
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, 0, "Play");
    EXPECT_EQ(Quads(device.draws.at(0)).size(), 3u);
    device.ClearRecord();
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, 0, "BA");  // no translation: drawn as it is
    EXPECT_EQ(Quads(device.draws.at(0)).size(), 2u);
    device.ClearRecord();
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, 0, "");
    EXPECT_TRUE(device.calls.empty());
}

// Names players type are drawn as typed, whatever the language file makes of such a word.
TEST_F(FontTest, LiteralTextIsNeitherTranslatedNorAPicture) {
    device.AddFile("Graphics/logo.png", 100, 50);
    Load("SymbolList=ABgpn.\r\nAB=Graphics\\logo.png\r\n");
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, TEXT_LITERAL, "AB");
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_EQ(device.draws[0].texture, bitmapFont.FontTexture());
    EXPECT_EQ(Quads(device.draws[0]).size(), 2u);
    device.ClearRecord();
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, TEXT_LITERAL, "A.png");
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_EQ(Quads(device.draws[0]).size(), 5u);
    EXPECT_EQ(device.loadsOf.count("A.png"), 0u);
    EXPECT_EQ(device.loadsOf.count("Graphics/logo.png"), 0u);
}

TEST_F(FontTest, GlyphsShareOneDrawWithBlendingAroundIt) {
    Load("SymbolList=AB\r\n");
    device.states[RenderState::AlphaBlendEnable] = 1;
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, 0xFF102030u, 0, "ABAB");
    ASSERT_EQ(device.draws.size(), 1u);
    const auto& draw = device.draws[0];
    EXPECT_EQ(draw.vertices.size(), 16u);
    EXPECT_EQ(draw.vertices[5].diffuse, 0xFF102030u);
    EXPECT_EQ(draw.states.at(RenderState::AlphaBlendEnable), 1u);
    EXPECT_EQ(draw.states.at(RenderState::SrcBlend), BlendSrcAlpha);
    EXPECT_EQ(draw.states.at(RenderState::DestBlend), BlendInvSrcAlpha);
    EXPECT_EQ(draw.stageStates.at(TextureStageState::ColourOp), OpModulate);
    EXPECT_EQ(draw.stageStates.at(TextureStageState::AlphaOp), OpModulate);
    EXPECT_EQ(draw.stageStates.at(TextureStageState::AlphaArg1), ArgTexture);
    EXPECT_EQ(device.calls.front(), "RS AlphaBlendEnable 1");
    EXPECT_EQ(device.calls.back(), "RS AlphaBlendEnable 0");
    EXPECT_EQ(device.states[RenderState::AlphaBlendEnable], 0u);
}

TEST_F(FontTest, TranslationsNamingPicturesDrawThePicture) {
    device.AddFile("Graphics/start.tga", 100, 50);
    Load("SymbolList=AB\r\nStart=Graphics\\start.tga\r\nShout=A.PNG\r\n");
    bitmapFont.DrawText(0.2f, 0.5f, 0.1f, White, 0, "Start");
    ASSERT_EQ(device.draws.size(), 1u);
    PixelQuad q = Quads(device.draws[0])[0];
    EXPECT_NEAR(q.h, 60, 1e-3);              // height = size
    EXPECT_NEAR(q.w, 120, 1e-3);             // aspect ratio 2 : 1 kept
    EXPECT_NEAR(q.cx - q.w / 2, 160, 1e-3);  // left edge at x
    EXPECT_EQ(device.draws[0].states.at(RenderState::AlphaBlendEnable), 1u);
    EXPECT_FLOAT_EQ(q.uRight, 1.0f);

    device.ClearRecord();
    bitmapFont.DrawText(0.2f, 0.5f, 0.1f, White, TEXT_RIGHT | TEXT_PIXEL_SIZE, "Start");
    q = Quads(device.draws.at(0))[0];
    EXPECT_NEAR(q.w, 100, 1e-3);
    EXPECT_NEAR(q.h, 50, 1e-3);
    EXPECT_NEAR(q.cx + q.w / 2, 160, 1e-3);

    device.ClearRecord();
    bitmapFont.DrawText(0.2f, 0.5f, 0.1f, White, TEXT_CENTRE, "Start");
    EXPECT_NEAR(Quads(device.draws.at(0))[0].cx, 160, 1e-3);

    // The extensions are matched in their exact case: this one is letters (A, then unlisted bytes).
    device.ClearRecord();
    bitmapFont.DrawText(0.2f, 0.5f, 0.1f, White, 0, "Shout");
    EXPECT_EQ(Quads(device.draws.at(0)).size(), 1u);
    EXPECT_EQ(device.draws[0].texture, bitmapFont.FontTexture());

    // A picture that does not load draws nothing.
    device.ClearRecord();
    bitmapFont.DrawText(0.2f, 0.5f, 0.1f, White, 0, "Graphics\\none.png");
    EXPECT_TRUE(device.draws.empty());
}

TEST_F(FontTest, NoFontTextureDrawsNoGlyphs) {
    device.files.clear();
    device.AddFile("pic.png", 10, 10);
    Load("SymbolList=AB\r\n");
    EXPECT_EQ(bitmapFont.FontTexture(), nullptr);
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, 0, "AB");
    EXPECT_TRUE(device.calls.empty());
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, 0, "pic.png");
    EXPECT_EQ(device.draws.size(), 1u);
}

TEST_F(FontTest, FontTextureIsGoneWithTheRegistryUntilTheNextLoad) {
    Load("SymbolList=AB\r\n");
    ASSERT_NE(bitmapFont.FontTexture(), nullptr);
    textureRegistry.DeleteAllTexturesMIPMAP();
    EXPECT_EQ(bitmapFont.FontTexture(), nullptr);
    device.ClearRecord();
    bitmapFont.DrawText(0.1f, 0.5f, 0.04f, White, 0, "AB");
    EXPECT_TRUE(device.draws.empty());
    bitmapFont.LoadSymbolWidths(FontPath);
    EXPECT_NE(bitmapFont.FontTexture(), nullptr);
}

}  // namespace

TEST_F(FontTest, ALanguageFileWithoutTheSymbolListIsReportedOnceWithTheReason) {
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* reason;
    };
    const Case cases[] = {
        {"missing", [] { std::filesystem::remove("language.ini"); }, "(the file is missing)"},
        {"no section", [] { WriteFile("language.ini", "[GERMAN]\r\nSymbolList=AB\r\n"); },
         "(no SymbolList in its section [ENGLISH])"},
        {"a directory",
         [] {
             std::filesystem::remove("language.ini");
             std::filesystem::create_directory("language.ini");
         },
         "(not a regular file)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all("language.ini");
        std::filesystem::remove("app.log");
        c.make();
        IniForgetCache();
        bitmapFont.Reset();
        for (int i = 0; i < 3; ++i) bitmapFont.LoadSymbolWidths(FontPath);
        EXPECT_EQ(CountLog(std::string("===> Warning: Can't load the symbol list from 'language.ini' ") +
                           c.reason + "; no text can be drawn"),
                  1);
    }
}
