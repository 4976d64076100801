// An offscreen 800 x 600 window shared by the device tests, and small drawing helpers. The window has a
// depth buffer of its own, unless KELVANE_TEST_WINDOW_DEPTH is 0: then the device draws the picture in a
// target of its own, as in a window opened large and made smaller.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "device/gl_device.h"
#include "device/gl_window.h"

class GfxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        std::string error;
        GlWindowSettings settings;
        settings.title = "tests";
        settings.offscreen = true;
        const char* depth = std::getenv("KELVANE_TEST_WINDOW_DEPTH");
        settings.depthBuffer = !depth || std::string(depth) != "0";
        window = GlWindow::Create(settings, error).release();
        ASSERT_NE(window, nullptr) << error;
    }
    static void TearDownTestSuite() {
        // The window and its device go (their clean-up is part of what is tested); SDL stays up, as
        // shutting it down unloads the GL driver, whose own allocations then show as leaks.
        delete window;
        window = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(window, nullptr);
        // Each test starts from the device's plain states.
        GraphicsDevice& d = device();
        d.SetRenderState(RenderState::ZEnable, 1);
        d.SetRenderState(RenderState::ZWriteEnable, 1);
        d.SetRenderState(RenderState::ZFunc, CmpLessEqual);
        d.SetRenderState(RenderState::Lighting, 0);
        d.SetRenderState(RenderState::SpecularEnable, 0);
        d.SetRenderState(RenderState::AlphaBlendEnable, 0);
        d.SetRenderState(RenderState::CullMode, CullCounterClockwise);
        d.SetRenderState(RenderState::ColourVertex, 1);
        d.SetRenderState(RenderState::Ambient, 0);
        d.SetTexture(0, nullptr);
        d.SetTextureStageState(0, TextureStageState::ColourOp, OpModulate);
        d.SetTextureStageState(0, TextureStageState::ColourArg1, ArgTexture);
        d.SetTextureStageState(0, TextureStageState::ColourArg2, ArgDiffuse);
        d.SetTextureStageState(0, TextureStageState::AlphaOp, OpModulate);
        d.SetTextureStageState(0, TextureStageState::AddressU, AddressWrap);
        d.SetTextureStageState(0, TextureStageState::AddressV, AddressWrap);
        d.SetTextureStageState(0, TextureStageState::MagFilter, FilterPoint);
        d.SetTextureStageState(0, TextureStageState::MinFilter, FilterPoint);
        d.SetTextureStageState(0, TextureStageState::MipFilter, FilterNone);
        d.SetTransform(TransformKind::World, MatrixIdentity());
        d.SetTransform(TransformKind::View, MatrixIdentity());
        d.SetTransform(TransformKind::Projection, MatrixIdentity());
        d.LightEnable(0, false);
        d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1.0f);
    }

    static GraphicsDevice& device() { return window->Device(); }

    // A pre-transformed quad from (left, top) to (right, bottom) in pixels, drawn as two clockwise triangles.
    static HResult ScreenQuad(float left, float top, float right, float bottom, float z, ColourArgb colour,
                              float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1) {
        const ScreenVertex vertices[4] = {{left, bottom, z, 1, colour, 0, u0, v1},
                                          {right, bottom, z, 1, colour, 0, u1, v1},
                                          {left, top, z, 1, colour, 0, u0, v0},
                                          {right, top, z, 1, colour, 0, u1, v0}};
        const uint16_t indices[6] = {2, 3, 0, 1, 0, 3};
        return device().DrawIndexed(std::span<const ScreenVertex>(vertices), indices);
    }

    void Read() {
        int width = 0, height = 0;
        ASSERT_TRUE(device().ReadPixels(pixels, width, height));
        ASSERT_EQ(width, 800);
        ASSERT_EQ(height, 600);
    }
    // 0xRRGGBB of the last read-back at (x, y), y downwards.
    uint32_t At(int x, int y) const {
        const uint8_t* p = &pixels[(size_t(y) * 800 + size_t(x)) * 4];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    int Channel(int x, int y, int channel) const {
        return pixels[(size_t(y) * 800 + size_t(x)) * 4 + size_t(channel)];
    }

    static inline GlWindow* window = nullptr;
    std::vector<uint8_t> pixels;
};
