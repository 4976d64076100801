#include <gmock/gmock.h>

#include "ui_test_support.h"

using ::testing::ElementsAre;

namespace {

class RegistryTest : public UiTest {};

TEST_F(RegistryTest, LookupsLoadOnceAndKeepLetterCaseApart) {
    device.AddFile("Graphics/back.bmp", 16, 16);
    device.AddFile("Graphics/BACK.bmp", 8, 8);

    Texture* first = textureRegistry.GetTexture("Graphics\\back.bmp");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(textureRegistry.GetTexture("Graphics\\back.bmp"), first);
    EXPECT_EQ(device.loadsOf["Graphics/back.bmp"], 1);

    Texture* upper = textureRegistry.GetTexture("Graphics\\BACK.bmp");
    ASSERT_NE(upper, nullptr);
    EXPECT_NE(upper, first);
    EXPECT_EQ(TextureRegistry::GetTextureSize(upper).width, 8);
    EXPECT_EQ(textureRegistry.Count(), 2);

    EXPECT_THAT(LogLines(), ElementsAre("Bitmap loading: 'Graphics\\back.bmp' ... OK (1 loaded) (32 bit)",
                                        "Bitmap loading: 'Graphics\\BACK.bmp' ... OK (2 loaded) (32 bit)"));
}

TEST_F(RegistryTest, LogLinesCarryTimeStampsExceptTheReleaseLine) {
    device.AddFile("a.tga", 4, 4);
    textureRegistry.GetTexture("a.tga");
    textureRegistry.GetTexture("missing.tga");
    textureRegistry.DeleteAllTexturesMIPMAP();
    const std::string log = ReadFile("app.log");
    EXPECT_EQ(log.substr(log.size() - std::string("DeleteAllTexturesMIPMAP()\r\n").size()),
              "DeleteAllTexturesMIPMAP()\r\n");
    EXPECT_NE(log.find(" : Bitmap loading: 'a.tga' ... OK (1 loaded) (32 bit)\r\n"), std::string::npos);
    EXPECT_NE(log.find(" : Bitmap loading: 'missing.tga' ... FAILED (cannot open missing.tga)\r\n"),
              std::string::npos);
    EXPECT_EQ(log.find(" : DeleteAllTexturesMIPMAP()"), std::string::npos);
}

TEST_F(RegistryTest, MissingFileIsTriedAndLoggedOnceUntilTheRegistryIsEmptied) {
    for (int frame = 0; frame < 60; ++frame)
        EXPECT_EQ(textureRegistry.GetTexture("Graphics\\gone.bmp"), nullptr);
    EXPECT_EQ(device.loadsOf["Graphics/gone.bmp"], 1);
    EXPECT_EQ(CountLog("Bitmap loading: 'Graphics\\gone.bmp' ... FAILED (cannot open Graphics/gone.bmp)"), 1);
    EXPECT_EQ(textureRegistry.Count(), 0);

    // The device goes away and comes back, perhaps with the file now present: try again.
    textureRegistry.DeleteAllTexturesMIPMAP();
    device.AddFile("Graphics/gone.bmp", 2, 2);
    EXPECT_NE(textureRegistry.GetTexture("Graphics\\gone.bmp"), nullptr);
    EXPECT_EQ(device.loadsOf["Graphics/gone.bmp"], 2);
}

TEST_F(RegistryTest, EmptyNameIsNoPictureAndNeverAFileLookup) {
    EXPECT_EQ(textureRegistry.GetTexture(""), nullptr);
    EXPECT_TRUE(device.loadsOf.empty());
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(RegistryTest, TableFullRefusesNewNamesButKeepsOldOnes) {
    for (int i = 0; i < MaxTextures; ++i) {
        device.AddFile("t" + std::to_string(i) + ".bmp", 1, 1);
        ASSERT_NE(textureRegistry.GetTexture("t" + std::to_string(i) + ".bmp"), nullptr);
    }
    device.AddFile("extra.bmp", 1, 1);
    EXPECT_EQ(textureRegistry.GetTexture("extra.bmp"), nullptr);
    EXPECT_EQ(textureRegistry.GetTexture("extra.bmp"), nullptr);
    EXPECT_EQ(device.loadsOf["extra.bmp"], 0);
    EXPECT_EQ(CountLog("Overflow error: maximum textures count"), 1);
    EXPECT_EQ(textureRegistry.Count(), MaxTextures);
    EXPECT_NE(textureRegistry.GetTexture("t0.bmp"), nullptr);
    EXPECT_NE(textureRegistry.GetTexture("t249.bmp"), nullptr);
    EXPECT_EQ(CountLog("Bitmap loading: 't249.bmp' ... OK (250 loaded) (32 bit)"), 1);

    // A direct load into the full table is refused too.
    EXPECT_FALSE(textureRegistry.LoadTexture("", "extra.bmp"));
    EXPECT_EQ(CountLog("Overflow error: maximum textures count"), 2);
}

TEST_F(RegistryTest, ReleaseEmptiesTheTableAndCountingStartsAgain) {
    device.AddFile("a.bmp", 1, 1);
    device.AddFile("b.bmp", 1, 1);
    textureRegistry.GetTexture("a.bmp");
    textureRegistry.GetTexture("b.bmp");
    const uint64_t generation = textureRegistry.Generation();
    EXPECT_EQ(textureRegistry.DeleteAllTexturesMIPMAP(), 0);
    EXPECT_EQ(textureRegistry.Count(), 0);
    EXPECT_NE(textureRegistry.Generation(), generation);
    EXPECT_NE(textureRegistry.GetTexture("b.bmp"), nullptr);
    EXPECT_EQ(device.loadsOf["b.bmp"], 2);
    EXPECT_THAT(LogLines(),
                ElementsAre("Bitmap loading: 'a.bmp' ... OK (1 loaded) (32 bit)",
                            "Bitmap loading: 'b.bmp' ... OK (2 loaded) (32 bit)", "DeleteAllTexturesMIPMAP()",
                            "Bitmap loading: 'b.bmp' ... OK (1 loaded) (32 bit)"));
}

TEST_F(RegistryTest, PathsLongerThanANameFieldAreRefused) {
    const std::string fits(254, 'a'), tooLong(255, 'a');
    device.AddFile(fits, 1, 1);
    device.AddFile(tooLong, 1, 1);
    EXPECT_NE(textureRegistry.GetTexture(fits), nullptr);
    EXPECT_EQ(textureRegistry.GetTexture(tooLong), nullptr);
    EXPECT_EQ(device.loadsOf[tooLong], 0);
    EXPECT_EQ(CountLog("Bitmap loading: '" + tooLong + "' ... FAILED (name longer than 254 characters)"), 1);
    // The prefix counts towards the length.
    EXPECT_FALSE(textureRegistry.LoadTexture("b", fits));
}

TEST_F(RegistryTest, LoadTextureJoinsPrefixAndName) {
    device.AddFile("Graphics/x.tga", 3, 5);
    EXPECT_TRUE(textureRegistry.LoadTexture("Graphics\\", "x.tga"));
    const Texture* texture = textureRegistry.GetTexture("Graphics\\x.tga");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(TextureRegistry::GetTextureSize(texture).height, 5);
    EXPECT_EQ(textureRegistry.Count(), 1);
}

TEST_F(RegistryTest, WithoutADeviceNothingLoads) {
    textureRegistry.BindDevice(nullptr, nullptr);
    EXPECT_EQ(textureRegistry.GetTexture("a.bmp"), nullptr);
    EXPECT_EQ(CountLog("Bitmap loading: 'a.bmp' ... FAILED (no graphics device)"), 1);
    EXPECT_EQ(textureRegistry.GetClientSize().width, 0);
    EXPECT_TRUE(Failed(textureRegistry.DrawQuad(nullptr, 0.5f, 0.5f, 1, 1, 0, 0, 1, 1, 0xFFFFFFFF, 0)));
}

class QuadTest : public UiTest {};

TEST_F(QuadTest, WholeClientAreaSpansHalfPixelShiftedCorners) {
    ASSERT_EQ(textureRegistry.DrawQuad(nullptr, 0.5f, 0.5f, 1, 1, 0.1f, 0.2f, 0.3f, 0.4f, 0x80FF0000u, 0),
              S_OK);
    ASSERT_EQ(device.draws.size(), 1u);
    const auto& v = device.draws[0].vertices;
    ASSERT_EQ(v.size(), 4u);
    // 0 = left bottom, 1 = right bottom, 2 = left top, 3 = right top.
    const float expected[4][4] = {{-0.5f, 599.5f, 0.1f, 0.4f},
                                  {799.5f, 599.5f, 0.3f, 0.4f},
                                  {-0.5f, -0.5f, 0.1f, 0.2f},
                                  {799.5f, -0.5f, 0.3f, 0.2f}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(v[i].y, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(v[i].u, expected[i][2]) << i;
        EXPECT_FLOAT_EQ(v[i].v, expected[i][3]) << i;
        EXPECT_FLOAT_EQ(v[i].z, 0.9f);
        EXPECT_FLOAT_EQ(v[i].rhw, 1.0f);
        EXPECT_EQ(v[i].diffuse, 0x80FF0000u);
        EXPECT_EQ(v[i].specular, 0u);
    }
    EXPECT_THAT(device.draws[0].indices, ElementsAre(2, 3, 0, 1, 0, 3));
}

TEST_F(QuadTest, PixelSizeUsesTheTexturesOwnSize) {
    device.AddFile("p.tga", 64, 32);
    Texture* texture = textureRegistry.GetTexture("p.tga");
    window.width = 640;
    window.height = 480;
    textureRegistry.DrawQuad(texture, 0.25f, 0.5f, 0.9f, 0.01f, 0, 0, 1, 1, 0xFFFFFFFF,
                             QUAD_PIXEL_SIZE | QUAD_ALPHA_BLEND);
    ASSERT_EQ(device.draws.size(), 1u);
    const auto& v = device.draws[0].vertices;
    EXPECT_FLOAT_EQ(v[2].x, 160 - 32 - 0.5f);
    EXPECT_FLOAT_EQ(v[2].y, 240 - 16 - 0.5f);
    EXPECT_FLOAT_EQ(v[1].x - v[0].x, 64);
    EXPECT_FLOAT_EQ(v[0].y - v[2].y, 32);
    EXPECT_EQ(device.draws[0].texture, texture);

    // No texture, no size: nothing is drawn and no state is touched.
    device.ClearRecord();
    EXPECT_EQ(textureRegistry.DrawQuad(nullptr, 0.5f, 0.5f, 1, 1, 0, 0, 1, 1, 0xFFFFFFFF, QUAD_PIXEL_SIZE),
              S_OK);
    EXPECT_TRUE(device.calls.empty());
}

TEST_F(QuadTest, StatesAreSetAndRestoredInOrder) {
    device.AddFile("p.tga", 4, 4);
    Texture* texture = textureRegistry.GetTexture("p.tga");
    device.states[RenderState::CullMode] = CullNone;
    device.states[RenderState::AlphaBlendEnable] = 0;
    textureRegistry.DrawQuad(texture, 0.5f, 0.5f, 0.1f, 0.1f, 0, 0, 1, 1, 0xFFFFFFFF, 0);
    EXPECT_THAT(device.calls,
                ElementsAre("Transform World identity", "Texture p.tga", "RS ZEnable 0", "RS Lighting 0",
                            "RS CullMode 3", "TSS AddressU 3", "TSS AddressV 3", "Draw 4 6", "TSS AddressU 1",
                            "TSS AddressV 1", "RS Lighting 1", "RS CullMode 1", "RS ZEnable 1"));
    EXPECT_EQ(device.draws[0].states[RenderState::CullMode], CullCounterClockwise);
    EXPECT_EQ(device.draws[0].states[RenderState::ZEnable], 0u);

    device.ClearRecord();
    device.states[RenderState::ZEnable] = 0;
    device.states[RenderState::Lighting] = 0;
    textureRegistry.DrawQuad(texture, 0.5f, 0.5f, 0.1f, 0.1f, 0, 0, 1, 1, 0xFFFFFFFF, QUAD_ALPHA_BLEND);
    EXPECT_THAT(device.calls,
                ElementsAre("Transform World identity", "Texture p.tga", "RS ZEnable 0", "RS Lighting 0",
                            "RS CullMode 3", "TSS AddressU 3", "TSS AddressV 3", "RS AlphaBlendEnable 1",
                            "RS SrcBlend 5", "RS DestBlend 6", "TSS ColourOp 4", "TSS ColourArg1 2",
                            "TSS ColourArg2 0", "TSS AlphaOp 4", "TSS AlphaArg1 2", "TSS AlphaArg2 0",
                            "Draw 4 6", "RS AlphaBlendEnable 0", "TSS AddressU 1", "TSS AddressV 1",
                            "RS Lighting 0", "RS CullMode 1", "RS ZEnable 0"));
    EXPECT_EQ(device.draws[0].states[RenderState::AlphaBlendEnable], 1u);
    // Blend factors and stage operations stay as set.
    EXPECT_EQ(device.states[RenderState::SrcBlend], BlendSrcAlpha);
    EXPECT_EQ(device.stageStates[TextureStageState::ColourOp], OpModulate);
}

TEST_F(QuadTest, FailuresEndEarlyOrAfterRestoring) {
    device.transformResult = E_FAIL;
    EXPECT_EQ(textureRegistry.DrawQuad(nullptr, 0.5f, 0.5f, 1, 1, 0, 0, 1, 1, 0xFFFFFFFF, 0), E_FAIL);
    EXPECT_THAT(device.calls, ElementsAre("Transform World identity"));

    device.ClearRecord();
    device.transformResult = S_OK;
    device.textureResult = E_FAIL;
    EXPECT_EQ(textureRegistry.DrawQuad(nullptr, 0.5f, 0.5f, 1, 1, 0, 0, 1, 1, 0xFFFFFFFF, 0), E_FAIL);
    EXPECT_THAT(device.calls, ElementsAre("Transform World identity", "Texture none"));

    device.ClearRecord();
    device.textureResult = S_OK;
    device.drawResult = E_FAIL;
    EXPECT_EQ(textureRegistry.DrawQuad(nullptr, 0.5f, 0.5f, 1, 1, 0, 0, 1, 1, 0xFFFFFFFF, QUAD_ALPHA_BLEND),
              E_FAIL);
    EXPECT_EQ(device.calls.back(), "RS ZEnable 1");
    EXPECT_EQ(device.states[RenderState::AlphaBlendEnable], 0u);
}

TEST_F(QuadTest, BatchEqualsQuadsDrawnOneByOne) {
    const QuadPlacement quads[3] = {{0.1f, 0.2f, 0.05f, 0.1f, 0, 0, 0.5f, 0.5f},
                                    {0.3f, 0.2f, 0.05f, 0.1f, 0.5f, 0, 1, 0.5f},
                                    {0.5f, 0.7f, 0.2f, 0.1f, 0, 0.5f, 1, 1}};
    for (const QuadPlacement& q : quads)
        textureRegistry.DrawQuad(nullptr, q.x, q.y, q.w, q.h, q.uLeft, q.vTop, q.uRight, q.vBottom,
                                 0xFF00FF00u, 0);
    const std::vector<FakeDevice::Draw> single = device.draws;
    device.ClearRecord();
    textureRegistry.DrawQuads(nullptr, quads, 0xFF00FF00u, 0);
    ASSERT_EQ(device.draws.size(), 1u);
    const auto& batch = device.draws[0];
    ASSERT_EQ(batch.vertices.size(), 12u);
    ASSERT_EQ(batch.indices.size(), 18u);
    for (size_t q = 0; q < 3; ++q) {
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(batch.vertices[q * 4 + i].x, single[q].vertices[i].x);
            EXPECT_EQ(batch.vertices[q * 4 + i].y, single[q].vertices[i].y);
            EXPECT_EQ(batch.vertices[q * 4 + i].u, single[q].vertices[i].u);
            EXPECT_EQ(batch.vertices[q * 4 + i].v, single[q].vertices[i].v);
        }
        for (size_t i = 0; i < 6; ++i) EXPECT_EQ(batch.indices[q * 6 + i], single[q].indices[i] + 4 * q);
    }
}

TEST_F(QuadTest, BatchesBeyondOneIndexBufferAreSplit) {
    std::vector<QuadPlacement> quads(20000, QuadPlacement{0.5f, 0.5f, 0.01f, 0.01f});
    EXPECT_EQ(textureRegistry.DrawQuads(nullptr, quads, 0xFFFFFFFF, 0), S_OK);
    ASSERT_EQ(device.draws.size(), 2u);
    EXPECT_EQ(device.draws[0].vertices.size() + device.draws[1].vertices.size(), 80000u);
    for (const auto& draw : device.draws)
        for (uint16_t index : draw.indices) ASSERT_LT(index, draw.vertices.size());
}

}  // namespace
