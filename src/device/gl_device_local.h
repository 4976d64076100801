// The GL device's insides, shared by its files: gl_device.cpp (states, transforms, immediate and
// instanced draws, creation), gl_shaders.cpp (the shader sources and the program of each pipeline
// variant), gl_textures.cpp (textures and their sampler state), gl_kept_layer.cpp (static mesh copies
// on the GPU and the layer of opaque draws kept from frame to frame) and gl_scene_target.cpp (where
// draws go: the picture in the back buffer, or the 3D scene's own, smaller target). Nothing outside
// src/device includes this header.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "device/gl_device.h"

namespace gldevice {

// Attribute locations shared by every vertex layout.
enum : GLuint {
    AttrPosition = 0,
    AttrNormal = 1,
    AttrColour = 2,
    AttrSpecular = 3,
    AttrTexCoord = 4,
    AttrWorld = 5
};

// Which vertex layout a draw uses; the shader reads only the attributes that layout has.
enum Layout : int { LayoutMesh = 0, LayoutQuad = 1, LayoutScreen = 2 };

// The switches one shader program is compiled for.
struct ShaderVariant {
    int layout = LayoutMesh;
    bool lighting = false, lightEnabled = false, specular = false, colourVertex = false, texture = false;
    uint32_t colourOp = OpDisable, alphaOp = OpDisable;
    bool colourArg1Texture = false, colourArg2Texture = false, alphaArg1Texture = false,
         alphaArg2Texture = false;
    // Unblended draws write alpha 1: the scene's own target is laid over the 2D layer by its alpha.
    bool opaqueAlpha = false;

    uint32_t Key() const {
        return uint32_t(layout) | uint32_t(lighting) << 2 | uint32_t(lightEnabled) << 3 |
               uint32_t(specular) << 4 | uint32_t(colourVertex) << 5 | uint32_t(texture) << 6 |
               colourOp << 7 | alphaOp << 10 | uint32_t(colourArg1Texture) << 13 |
               uint32_t(colourArg2Texture) << 14 | uint32_t(alphaArg1Texture) << 15 |
               uint32_t(alphaArg2Texture) << 16 | uint32_t(opaqueAlpha) << 17;
    }

    std::string Preamble() const {
        std::string text = "#version 330 core\n";
        auto define = [&text](const char* name, const std::string& value) {
            text += std::string("#define ") + name + " " + value + "\n";
        };
        define("LAYOUT_MESH", "0");
        define("LAYOUT_QUAD", "1");
        define("LAYOUT_SCREEN", "2");
        define("OP_SELECT_ARG1", std::to_string(OpSelectArg1));
        define("OP_SELECT_ARG2", std::to_string(OpSelectArg2));
        define("OP_MODULATE", std::to_string(OpModulate));
        define("LAYOUT", std::to_string(layout));
        define("LIGHTING", lighting ? "1" : "0");
        define("LIGHT_ENABLED", lightEnabled ? "1" : "0");
        define("SPECULAR", specular ? "1" : "0");
        define("COLOUR_VERTEX", colourVertex ? "1" : "0");
        define("TEXTURE", texture ? "1" : "0");
        define("COLOUR_OP", std::to_string(colourOp));
        define("ALPHA_OP", std::to_string(alphaOp));
        auto argument = [](bool isTexture) { return std::string(isTexture ? "texel" : "vDiffuse"); };
        define("COLOUR_ARG1", argument(colourArg1Texture));
        define("COLOUR_ARG2", argument(colourArg2Texture));
        define("ALPHA_ARG1", argument(alphaArg1Texture));
        define("ALPHA_ARG2", argument(alphaArg2Texture));
        define("OPAQUE_ALPHA", opaqueAlpha ? "1" : "0");
        return text;
    }
};

// Helpers shared by the device's files.
Matrix Inverse(const Matrix& matrix, bool& ok);
std::array<float, 4> ColourFromArgb(ColourArgb colour);
GLenum GlCompare(uint32_t func);
GLenum GlBlend(uint32_t factor);
bool ValidRenderStateValue(RenderState state, uint32_t value);
bool ValidStageValue(TextureStageState state, uint32_t value);
// The lowest and highest corners of the box around some vertices.
template <typename Vertex>
std::array<Vector3, 2> BoxOf(std::span<const Vertex> vertices) {
    std::array<Vector3, 2> box{Vector3{vertices[0].x, vertices[0].y, vertices[0].z},
                               Vector3{vertices[0].x, vertices[0].y, vertices[0].z}};
    for (const Vertex& v : vertices) {
        box[0] = {std::min(box[0].x, v.x), std::min(box[0].y, v.y), std::min(box[0].z, v.z)};
        box[1] = {std::max(box[1].x, v.x), std::max(box[1].y, v.y), std::max(box[1].z, v.z)};
    }
    return box;
}
template <typename Index>
bool IndicesInRange(std::span<const Index> indices, size_t vertexCount) {
    Index largest = 0;
    for (Index index : indices) largest = std::max(largest, index);
    return size_t(largest) < vertexCount;
}

// The shader sources of the classic pipeline and of the kept layer's copy (gl_shaders.cpp).
extern const char* const VertexShaderSource;
extern const char* const FragmentShaderSource;
extern const char* const LayerVertexShaderSource;
extern const char* const LayerFragmentShaderSource;
extern const char* const SceneCopyVertexShaderSource;
extern const char* const SceneCopyFragmentShaderSource;
GLuint CompileShader(GLenum kind, const std::string& preamble, const char* source, std::string& error);
GLuint BuildProgram(const std::string& preamble, const char* vertexSource, const char* fragmentSource,
                    std::string& error);

// A buffer written front to back; when full it is orphaned (the driver hands out fresh storage while
// earlier draws still read the old one) and writing starts again at the front.
class StreamBuffer {
public:
    void Create(size_t bytes) {
        glGenBuffers(1, &name);
        capacity = bytes;
        glBindBuffer(GL_COPY_WRITE_BUFFER, name);
        glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(capacity), nullptr, GL_STREAM_DRAW);
    }
    void Destroy() {
        if (name) glDeleteBuffers(1, &name);
        name = 0;
    }
    GLuint Name() const { return name; }

    // Copies the bytes in at a multiple of alignment and returns their offset.
    size_t Write(const void* data, size_t size, size_t alignment) {
        glBindBuffer(GL_COPY_WRITE_BUFFER, name);
        size_t offset = (head + alignment - 1) / alignment * alignment;
        if (offset + size > capacity) {
            while (size > capacity) capacity *= 2;
            glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(capacity), nullptr, GL_STREAM_DRAW);
            offset = 0;
        }
        void* target =
            glMapBufferRange(GL_COPY_WRITE_BUFFER, GLintptr(offset), GLsizeiptr(size),
                             GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT);
        if (target) {
            std::memcpy(target, data, size);
            glUnmapBuffer(GL_COPY_WRITE_BUFFER);
        } else {
            glBufferSubData(GL_COPY_WRITE_BUFFER, GLintptr(offset), GLsizeiptr(size), data);
        }
        head = offset + size;
        return offset;
    }

private:
    GLuint name = 0;
    size_t capacity = 0;
    size_t head = 0;
};

struct Shared;

class GlTexture final : public Texture {
public:
    GlTexture(std::shared_ptr<Shared> owner, GLuint name, int width, int height)
        : owner(std::move(owner)), name(name), width(width), height(height) {
        static uint64_t nextSerial = 1;
        serial = nextSerial++;
    }
    ~GlTexture() override;
    int Width() const override { return width; }
    int Height() const override { return height; }

    std::shared_ptr<Shared> owner;
    GLuint name;
    int width, height;
    // Tells textures apart across frames, where a new one may reuse a gone one's address.
    uint64_t serial = 0;
    // Sampler parameters as last set on this texture, so binding only changes what differs.
    GLint minFilter = GL_NEAREST, magFilter = GL_NEAREST, wrapS = GL_REPEAT, wrapT = GL_REPEAT;
    bool hasMipmaps = false;
};

class Device;

// Outlives the device for as long as textures do: a texture released after its device only forgets
// its name (the context that held it is gone).
struct Shared {
    Device* device = nullptr;
};

// What a program was last given, so a draw uploads only what changed.
struct UploadedUniforms {
    Matrix viewProjection{};
    Vector3 eye{};
    float viewportWidth = -1, viewportHeight = -1;
    std::array<float, 3> ambient{-1, -1, -1};
    Material material{};
    bool materialValid = false;
    Light light{};
    Vector3 toLight{};
    bool lightValid = false;
};

struct UniformLocations {
    GLint viewProjection, eye, viewportSize, ambient;
    GLint materialDiffuse, materialAmbient, materialSpecular, materialEmissive, materialPower;
    GLint toLight, lightDiffuse, lightSpecular, lightAmbient;
};

// One compiled variant; `name` stays 0 for a variant that failed to build, so it is not retried.
struct ShaderProgram {
    GLuint name = 0;
    UniformLocations uniforms{};
    UploadedUniforms uploaded;
};

// GL states as last set, so redundant changes are skipped.
struct GlStates {
    int depthTest = -1, depthMask = -1, blend = -1, cull = -1;
    GLenum depthFunc = 0, blendSource = 0, blendDestination = 0, blendSourceAlpha = 0,
           blendDestinationAlpha = 0, cullFace = 0;
    GLuint vertexArray = ~0u, texture = ~0u;
};

struct CachedPart {
    GLuint vertexArray = 0, vertexBuffer = 0, indexBuffer = 0;
    GLsizei indexCount = 0;
    bool valid = false;
    Vector3 lowest{}, highest{};  // the box around the vertices
    std::weak_ptr<const uint64_t> owner;
};

struct PartKey {
    uint64_t owner;
    size_t part;
    bool operator==(const PartKey&) const = default;
};
struct PartKeyHash {
    size_t operator()(const PartKey& key) const {
        return std::hash<uint64_t>()(key.owner * 1000003u + key.part);
    }
};

constexpr int RenderStateCount = int(RenderState::CullMode) + 1;
constexpr int StageStateCount = int(TextureStageState::MipFilter) + 1;
// Sweep the static mesh copies for owners that have gone every this many frames.
constexpr uint64_t SweepInterval = 60;

// Bit for bit: a kept picture is only reused for inputs that cannot draw anything else. The types
// compared are plain floats without padding; -0 and 0 (or two NaNs) counting as different only costs
// a repaint, never a wrong picture.
template <typename T>
bool SameBytes(const T& a, const T& b) {
    static_assert(std::is_trivially_copyable_v<T>);
    return std::memcmp(&a, &b, sizeof(T)) == 0;  // NOLINT(bugprone-suspicious-memory-comparison)
}

// Everything of the device's state a mesh draw reads besides its geometry.
struct DrawInputs {
    std::array<uint32_t, RenderStateCount> renderStates{};
    std::array<uint32_t, StageStateCount> stageStates{};
    Material material{};
    Light light{};
    Vector3 toLight{};
    bool lightEnabled = false;
    GlTexture* texture = nullptr;
    uint64_t textureSerial = 0;
    Matrix world{}, view{}, projection{};

    bool operator==(const DrawInputs& other) const {
        return renderStates == other.renderStates && stageStates == other.stageStates &&
               SameBytes(material, other.material) && SameBytes(light, other.light) &&
               lightEnabled == other.lightEnabled && textureSerial == other.textureSerial &&
               SameBytes(world, other.world) && SameBytes(view, other.view) &&
               SameBytes(projection, other.projection);
    }
};

// A static mesh draw held back while a layer is being recorded.
struct LayerDraw {
    DrawInputs inputs;
    PartKey part{0, 0};
    std::vector<Matrix> worlds;

    bool operator==(const LayerDraw& other) const {
        return inputs == other.inputs && part == other.part && worlds.size() == other.worlds.size() &&
               (worlds.empty() ||
                std::memcmp(worlds.data(), other.worlds.data(), worlds.size() * sizeof(Matrix)) == 0);
    }
};

// Where draws go: the picture (the back buffer through the picture's viewport, or the picture's own
// target when the window has no depth buffer), the 3D scene's own target, or the kept layer's target
// while it is painted.
enum class Target { None, BackBuffer, Scene, Layer };

// A rectangle in normalised device coordinates: left, bottom, right, top.
using NdcRect = std::array<float, 4>;
constexpr NdcRect WholeView{-1, -1, 1, 1};
NdcRect Union(const NdcRect& a, const NdcRect& b);
// The screen rectangle of a box under these worlds (or `world` alone when worlds is empty) and the view
// and projection; false when a corner lies behind the eye or the rectangle is not finite. farthest: the
// largest depth of a corner.
bool BoxExtent(const Vector3& lowest, const Vector3& highest, std::span<const Matrix> worlds,
               const Matrix& world, const Matrix& viewProjection, NdcRect& rect, float& farthest);

// A 2D draw held back while the scene is drawn in a target of its own (gl_scene_target.cpp).
struct FlatDraw {
    DrawInputs inputs;
    std::vector<ScreenVertex> vertices;
    std::vector<uint16_t> indices;
    NdcRect rect{};
};

// A layer drawn in an earlier frame: its draws, and where on screen they fell.
struct KeptLayer {
    bool valid = false;
    std::vector<LayerDraw> draws;
    std::array<float, 4> rect{};  // left, bottom, right, top in normalised device coordinates
    uint32_t depthFunc = 0;
};

class Device final : public GlDevice {
public:
    Device() = default;
    ~Device() override;
    bool Initialise(int width, int height, std::string& error);

    void SetBackBufferSize(int width, int height) override;
    void SetPicture(int drawableWidth, int drawableHeight, const PixelRect& picture) override;
    void SetSceneLimit(PixelExtent limit) override;
    PixelExtent SceneSize() const override { return scene; }
    bool SoftwareRenderer() const override { return software; }
    Statistics Stats() const override {
        Statistics stats = statistics;
        stats.cachedMeshParts = cache.size();
        return stats;
    }

    HResult BeginScene() override;
    HResult EndScene() override;
    void Submit() override { glFlush(); }
    void BeginLayer() override;
    void EndLayer() override;
    HResult Clear(uint32_t flags, ColourArgb colour, float z) override;
    HResult SetTransform(TransformKind kind, const Matrix& matrix) override;
    HResult GetTransform(TransformKind kind, Matrix& matrix) const override;
    HResult GetViewport(Viewport& viewport) const override;
    HResult SetRenderState(RenderState state, uint32_t value) override;
    uint32_t GetRenderState(RenderState state) const override;
    HResult SetLight(int index, const Light& light) override;
    HResult LightEnable(int index, bool enable) override;
    HResult SetMaterial(const Material& material) override;
    Material GetMaterial() const override { return material; }
    HResult SetTexture(int stage, Texture* texture) override;
    Texture* GetTexture(int stage) const override { return stage == 0 ? boundTexture : nullptr; }
    HResult SetTextureStageState(int stage, TextureStageState state, uint32_t value) override;
    uint32_t GetTextureStageState(int stage, TextureStageState state) const override;
    HResult DrawIndexed(std::span<const QuadVertex> vertices, std::span<const uint16_t> indices) override;
    HResult DrawIndexed(std::span<const ScreenVertex> vertices, std::span<const uint16_t> indices) override;
    HResult DrawIndexed(std::span<const MeshVertex> vertices, std::span<const uint32_t> indices) override;
    HResult DrawIndexedInstanced(std::span<const MeshVertex> vertices, std::span<const uint32_t> indices,
                                 std::span<const Matrix> worlds) override;
    HResult DrawStaticIndexed(const std::shared_ptr<const uint64_t>& owner, size_t part,
                              std::span<const MeshVertex> vertices, std::span<const uint32_t> indices,
                              std::span<const Matrix> worlds) override;
    std::unique_ptr<Texture> CreateTextureFromFile(const std::string& nativePath) override;
    std::string TextureLoadProblem() const override { return textureLoadProblem; }
    bool CheckTextureFile(const std::string& nativePath) override;
    std::unique_ptr<Texture> CreateTextureFromPixels(int width, int height,
                                                     std::span<const uint8_t> rgba) override;
    bool ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height) override;

    void ForgetTexture(GlTexture* texture);

private:
    ShaderVariant CurrentVariant(Layout layout) const;
    ShaderProgram* UseProgram(const ShaderVariant& variant, std::string* error = nullptr);
    bool ApplyState(Layout layout);
    void ApplyTexture();
    void BindVertexArray(GLuint vertexArray);
    void SetWorldAttribute(const Matrix& world);
    void UploadViewProjection();
    void PrepareInstances(std::span<const Matrix> worlds);
    void FinishInstances();
    HResult DrawMeshGeometry(GLuint vertexArray, GLsizei indexCount, const void* indexOffset,
                             GLint baseVertex, std::span<const Matrix> worlds);
    void SweepCache();
    static void DeletePart(CachedPart& part);

    DrawInputs CurrentInputs() const;
    void RestoreInputs(const DrawInputs& inputs);
    void DrawRecorded(const LayerDraw& draw);
    void DrawRecordedToBackBuffer();
    bool LayerExtent(std::span<const LayerDraw> draws, NdcRect& rect) const;
    bool AddedDraws(const std::vector<LayerDraw>& before, const std::vector<LayerDraw>& now,
                    std::vector<LayerDraw>& added) const;
    bool PrepareLayerTarget();
    void ReleaseLayerTarget();
    void PaintLayer(std::span<const LayerDraw> draws, bool afresh);
    void DrawKeptLayer();

    // gl_scene_target.cpp
    bool SceneApart() const { return scene.width != picture.width || scene.height != picture.height; }
    Target SceneTarget() const { return SceneApart() ? Target::Scene : Target::BackBuffer; }
    void UseTarget(Target target);
    bool SceneTargetInUse();
    NdcRect MeshExtent(const std::array<Vector3, 2>& box, std::span<const Matrix> worlds) const;
    NdcRect ScreenExtent(std::span<const ScreenVertex> vertices) const;
    void PrepareSceneDraw(const NdcRect& extent);
    void PrepareFlatDraw();
    bool HoldFlatDraw(std::span<const ScreenVertex> vertices, std::span<const uint16_t> indices);
    void DrawFlatDraws();
    bool DrawScreenGeometry(std::span<const ScreenVertex> vertices, std::span<const uint16_t> indices);
    void CopySceneToPicture();
    bool PrepareSceneTarget();
    void ReleaseSceneTarget();
    void ClearBars();
    bool MakeColourAndDepthTarget(PixelExtent size, GLint filter, GLuint& framebuffer, GLuint& colour,
                                  GLuint& depth);
    bool PictureInOwnTarget();
    void ReleasePictureTarget();
    void ShowPicture() override;

    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    std::unordered_map<uint32_t, ShaderProgram> programs;
    ShaderProgram* program = nullptr;  // the one in use
    GlStates gl;

    GLuint meshArray = 0, quadArray = 0, screenArray = 0;
    StreamBuffer meshVertices, quadVertices, screenVertices, indexStream, instanceStream;

    // The back buffer, the picture in it (y downwards) and the size the 3D scene is drawn at. The game's
    // coordinates are the picture's: pre-transformed vertices are picture pixels.
    int drawableWidth = 1, drawableHeight = 1;
    PixelRect picture{0, 0, 1, 1};
    PixelExtent scene{1, 1}, sceneLimit{};
    bool software = false;
    Target boundTarget = Target::None;
    // Frames whose start clears the bars: every buffer the window swaps through, after the picture
    // moved or a clear coloured them.
    static constexpr int BarClearFrames = 4;
    int barsToClear = BarClearFrames;
    bool inScene = false;
    uint64_t frame = 0;

    Matrix world = MatrixIdentity(), view = MatrixIdentity(), projection = MatrixIdentity();
    Matrix viewProjection = MatrixIdentity();
    Vector3 eye{};
    // The world matrix as the constant attribute holds it; invalid after an instanced draw.
    Matrix attributeWorld{};
    bool attributeWorldValid = false;

    std::array<uint32_t, RenderStateCount> renderStates{};
    std::array<uint32_t, StageStateCount> stageStates{};
    Material material{};
    Light light{};
    Vector3 toLight{0, 0, -1};
    bool lightEnabled = false;
    GlTexture* boundTexture = nullptr;
    std::string textureLoadProblem;

    std::unordered_map<PartKey, CachedPart, PartKeyHash> cache;
    Statistics statistics;

    // The layer being recorded, the one kept from an earlier frame and the offscreen target it lives in.
    bool recordingLayer = false;
    std::vector<LayerDraw> layerDraws;
    KeptLayer kept;
    GLuint layerFramebuffer = 0, layerColour = 0, layerDepth = 0, layerProgram = 0;
    GLint layerRectLocation = -1, layerOriginLocation = -1;
    int layerWidth = 0, layerHeight = 0;
    bool layersUnsupported = false;

    // The scene's own target, used while the scene is drawn with fewer pixels than the picture. Its
    // picture goes into the back buffer before the next 2D draw and at the end of the frame: the first
    // time after a clear or the start of a frame as the whole picture (the scene drew the background),
    // later times as what was drawn since over a transparent target, laid over the 2D layer by its alpha.
    GLuint sceneFramebuffer = 0, sceneColour = 0, sceneDepth = 0, sceneCopyProgram = 0;
    GLint sceneCopyRectLocation = -1;
    bool sceneDrawn = false;          // the scene target holds draws that the back buffer does not show yet
    bool sceneOverlay = false;        // it is laid over the back buffer instead of replacing the picture
    NdcRect sceneExtent{};            // overlay: where its draws fell
    NdcRect sceneUncleared{};         // what is not transparent in it since it was last copied
    std::vector<FlatDraw> flatDraws;  // 2D draws held back, in order
    bool sceneTargetFailed = false;

    // A window opened large has no depth buffer (its scene is drawn apart, with a depth of its own).
    // Made smaller, its picture is drawn in a target of its own with a depth buffer, and copied into
    // the window before it is shown: on a software renderer that copy costs about a millisecond at
    // 800 x 600, which is why a window opened small keeps its depth buffer.
    bool windowDepth = false;
    GLuint pictureFramebuffer = 0, pictureColour = 0, pictureDepth = 0;
    bool pictureTargetFailed = false;
};

}  // namespace gldevice
