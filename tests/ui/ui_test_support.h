// Test helpers for the 2D layer: a recording graphics device with pretend texture files, a window of
// any size, and a fixture that runs each test in a fresh working directory with the registry bound to
// both and the font and log as at program start.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "device/device.h"
#include "persist/config.h"
#include "persist/ini.h"
#include "persist/log.h"
#include "ui/bitmap_font.h"
#include "ui/texture_registry.h"

class FakeTexture : public Texture {
public:
    FakeTexture(std::string path, int width, int height)
        : path(std::move(path)), width(width), height(height) {}
    int Width() const override { return width; }
    int Height() const override { return height; }
    std::string path;
    int width, height;
};

class FakeWindow : public Window {
public:
    FakeWindow(int width = 800, int height = 600) : width(width), height(height) {}
    int ClientWidth() const override { return width; }
    int ClientHeight() const override { return height; }
    int width, height;
};

// Records every state change as one line ("RS ZEnable 0", "TSS AddressU 3", "Transform World",
// "Texture <path>", "Draw 4 6") and keeps each screen-space draw with the states it was drawn in.
class FakeDevice : public GraphicsDevice {
public:
    struct Draw {
        std::vector<ScreenVertex> vertices;
        std::vector<uint16_t> indices;
        const Texture* texture = nullptr;
        std::map<RenderState, uint32_t> states;
        std::map<TextureStageState, uint32_t> stageStates;
    };

    // Pretend image files: native path -> pixel size.
    std::map<std::string, std::pair<int, int>> files;
    std::map<std::string, int> loadsOf;
    std::vector<std::string> calls;
    std::vector<Draw> draws;
    std::map<RenderState, uint32_t> states{{RenderState::ZEnable, 1},
                                           {RenderState::Lighting, 1},
                                           {RenderState::CullMode, CullCounterClockwise},
                                           {RenderState::AlphaBlendEnable, 0}};
    std::map<TextureStageState, uint32_t> stageStates;
    Texture* bound = nullptr;
    HResult transformResult = S_OK, textureResult = S_OK, drawResult = S_OK;

    void AddFile(const std::string& nativePath, int width, int height) {
        files[nativePath] = {width, height};
    }
    void ClearRecord() {
        calls.clear();
        draws.clear();
    }

    HResult BeginScene() override { return S_OK; }
    HResult EndScene() override { return S_OK; }
    HResult Clear(uint32_t, ColourArgb, float) override { return S_OK; }
    HResult SetTransform(TransformKind kind, const Matrix& matrix) override {
        calls.push_back(std::string("Transform ") + (kind == TransformKind::World ? "World" : "Other") +
                        (matrix == MatrixIdentity() ? " identity" : ""));
        return transformResult;
    }
    HResult GetTransform(TransformKind, Matrix& matrix) const override {
        matrix = MatrixIdentity();
        return S_OK;
    }
    HResult GetViewport(Viewport&) const override { return S_OK; }
    HResult SetRenderState(RenderState state, uint32_t value) override {
        calls.push_back("RS " + Name(state) + " " + std::to_string(value));
        states[state] = value;
        return S_OK;
    }
    uint32_t GetRenderState(RenderState state) const override {
        auto found = states.find(state);
        return found == states.end() ? 0 : found->second;
    }
    HResult SetLight(int, const Light&) override { return S_OK; }
    HResult LightEnable(int, bool) override { return S_OK; }
    HResult SetMaterial(const Material&) override { return S_OK; }
    Material GetMaterial() const override { return {}; }
    HResult SetTexture(int, Texture* texture) override {
        auto* fake = dynamic_cast<FakeTexture*>(texture);
        calls.push_back("Texture " + (fake ? fake->path : std::string("none")));
        if (!Failed(textureResult)) bound = texture;
        return textureResult;
    }
    Texture* GetTexture(int) const override { return bound; }
    HResult SetTextureStageState(int, TextureStageState state, uint32_t value) override {
        calls.push_back("TSS " + Name(state) + " " + std::to_string(value));
        stageStates[state] = value;
        return S_OK;
    }
    uint32_t GetTextureStageState(int, TextureStageState state) const override {
        auto found = stageStates.find(state);
        return found == stageStates.end() ? 0 : found->second;
    }
    HResult DrawIndexed(std::span<const QuadVertex>, std::span<const uint16_t>) override { return S_OK; }
    HResult DrawIndexed(std::span<const ScreenVertex> vertices, std::span<const uint16_t> indices) override {
        calls.push_back("Draw " + std::to_string(vertices.size()) + " " + std::to_string(indices.size()));
        draws.push_back({{vertices.begin(), vertices.end()},
                         {indices.begin(), indices.end()},
                         bound,
                         states,
                         stageStates});
        return drawResult;
    }
    HResult DrawIndexed(std::span<const MeshVertex>, std::span<const uint32_t>) override { return S_OK; }
    HResult DrawIndexedInstanced(std::span<const MeshVertex>, std::span<const uint32_t>,
                                 std::span<const Matrix>) override {
        return S_OK;
    }
    std::unique_ptr<Texture> CreateTextureFromFile(const std::string& nativePath) override {
        ++loadsOf[nativePath];
        auto found = files.find(nativePath);
        if (found == files.end()) {
            loadError = "cannot open " + nativePath;
            return nullptr;
        }
        loadError.clear();
        return std::make_unique<FakeTexture>(nativePath, found->second.first, found->second.second);
    }
    std::string TextureLoadProblem() const override { return loadError; }
    std::string loadError;
    std::unique_ptr<Texture> CreateTextureFromPixels(int width, int height,
                                                     std::span<const uint8_t>) override {
        return std::make_unique<FakeTexture>("pixels", width, height);
    }
    bool ReadPixels(std::vector<uint8_t>&, int&, int&) override { return false; }

    static std::string Name(RenderState state) {
        switch (state) {
            case RenderState::ZEnable:
                return "ZEnable";
            case RenderState::Lighting:
                return "Lighting";
            case RenderState::CullMode:
                return "CullMode";
            case RenderState::AlphaBlendEnable:
                return "AlphaBlendEnable";
            case RenderState::SrcBlend:
                return "SrcBlend";
            case RenderState::DestBlend:
                return "DestBlend";
            default:
                return "Other";
        }
    }
    static std::string Name(TextureStageState state) {
        switch (state) {
            case TextureStageState::ColourOp:
                return "ColourOp";
            case TextureStageState::ColourArg1:
                return "ColourArg1";
            case TextureStageState::ColourArg2:
                return "ColourArg2";
            case TextureStageState::AlphaOp:
                return "AlphaOp";
            case TextureStageState::AlphaArg1:
                return "AlphaArg1";
            case TextureStageState::AlphaArg2:
                return "AlphaArg2";
            case TextureStageState::AddressU:
                return "AddressU";
            case TextureStageState::AddressV:
                return "AddressV";
            default:
                return "Other";
        }
    }
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        oldDirectory = std::filesystem::current_path();
        directory = std::filesystem::temp_directory_path() /
                    ("kelvane_ui_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
        std::filesystem::current_path(directory);
        ResetLogState();
        IniForgetCache();
        SetLanguageName("ENGLISH");
        textureRegistry.BindDevice(&window, &device);
        textureRegistry.DeleteAllTexturesMIPMAP();
        bitmapFont.Reset();
        std::filesystem::remove("app.log");
    }
    void TearDown() override {
        textureRegistry.DeleteAllTexturesMIPMAP();
        textureRegistry.BindDevice(nullptr, nullptr);
        bitmapFont.Reset();
        std::filesystem::current_path(oldDirectory);
        std::filesystem::remove_all(directory);
        ResetLogState();
        IniForgetCache();
    }

    static void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
    }
    static std::string ReadFile(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // app.log's lines without their line ends and time stamps ("12:34:56 : ").
    static std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile("app.log"));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() >= 11 && line[2] == ':' && line[5] == ':' && line.compare(8, 3, " : ") == 0)
                line = line.substr(11);
            lines.push_back(line);
        }
        return lines;
    }
    static int CountLog(const std::string& text) {
        int n = 0;
        for (const std::string& line : LogLines()) n += line == text;
        return n;
    }

    FakeWindow window;
    FakeDevice device;
    std::filesystem::path oldDirectory, directory;
    static inline int counter = 0;
};
