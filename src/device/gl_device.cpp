#include "device/gl_device.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "device/image_loader.h"

namespace {

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

// The fixed-function pipeline, per vertex. Matrices arrive as the game writes them (row vectors,
// m[row][column]) and GL reads them column-major, so every matrix is seen here transposed and the
// usual column-vector products `M * v` compute the game's `v x M`. Lighting runs in world space,
// which equals the classic view-space lighting for the rigid view matrices the game uses.
//
// The switches of the classic pipeline (vertex layout, lighting, the light, specular highlights,
// vertex colours, the texture stage) are compile-time macros: each combination the game uses gets its
// own small program. A software rasteriser runs every branch of a shader whatever a uniform says, so
// one shader testing the switches at run time cost about a third of a full play frame.
const char* const VertexShaderSource = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColour;
layout(location = 3) in vec4 aSpecular;
layout(location = 4) in vec2 aTexCoord;
layout(location = 5) in vec4 aWorld0;
layout(location = 6) in vec4 aWorld1;
layout(location = 7) in vec4 aWorld2;
layout(location = 8) in vec4 aWorld3;

uniform mat4 uViewProjection;
uniform vec3 uEye;
uniform vec2 uViewportSize;
uniform vec3 uAmbient;
uniform vec4 uMaterialDiffuse;
uniform vec4 uMaterialAmbient;
uniform vec4 uMaterialSpecular;
uniform vec4 uMaterialEmissive;
uniform float uMaterialPower;
uniform vec3 uToLight;
uniform vec4 uLightDiffuse;
uniform vec4 uLightSpecular;
uniform vec4 uLightAmbient;

out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTexCoord;

void main() {
    vTexCoord = aTexCoord;
    vSpecular = vec4(0.0);
#if LAYOUT == LAYOUT_SCREEN
    // Pixel (x, y) of the classic pipeline, y downwards, lies at window (x + 0.5, height - y - 0.5).
    float w = aPosition.w > 0.0 ? 1.0 / aPosition.w : 1.0;
    vec2 ndc = vec2((aPosition.x + 0.5) / uViewportSize.x * 2.0 - 1.0,
                    1.0 - (aPosition.y + 0.5) / uViewportSize.y * 2.0);
    gl_Position = vec4(ndc * w, (aPosition.z * 2.0 - 1.0) * w, w);
    vDiffuse = aColour;
#if SPECULAR
    vSpecular = vec4(aSpecular.rgb, 0.0);
#endif
#else
    mat4 world = mat4(aWorld0, aWorld1, aWorld2, aWorld3);
    vec4 worldPosition = world * vec4(aPosition.xyz, 1.0);
    vec4 clip = uViewProjection * worldPosition;
    // Depth 0..w of the classic clip space into GL's -w..w.
    gl_Position = vec4(clip.xy, clip.z * 2.0 - clip.w, clip.w);
#if LAYOUT == LAYOUT_QUAD
    vec4 colour = aColour;
#else
    vec4 colour = vec4(1.0);
#endif
#if !LIGHTING
    vDiffuse = colour;
#else
#if COLOUR_VERTEX
    vec4 diffuseSource = colour;
    vec4 ambientSource = colour;
#else
    vec4 diffuseSource = uMaterialDiffuse;
    vec4 ambientSource = uMaterialAmbient;
#endif
    vec3 normal = vec3(0.0);
#if LAYOUT == LAYOUT_MESH
    // The inverse transpose of the world's linear part, up to a positive factor: its cofactor matrix
    // (columns b x c, c x a, a x b) with the determinant's sign.
    mat3 linear = mat3(world);
    vec3 bc = cross(linear[1], linear[2]);
    float determinant = dot(linear[0], bc);
    mat3 normalMatrix = abs(determinant) > 1e-20
        ? mat3(bc, cross(linear[2], linear[0]), cross(linear[0], linear[1])) * sign(determinant)
        : linear;
    vec3 n = normalMatrix * aNormal;
    float length2 = dot(n, n);
    normal = length2 > 0.0 ? n * inversesqrt(length2) : vec3(0.0);
#endif
    vec3 lit = uMaterialEmissive.rgb + uAmbient * ambientSource.rgb;
#if LIGHT_ENABLED
    lit += uLightAmbient.rgb * ambientSource.rgb;
    float nDotL = dot(normal, uToLight);
    // Straight-line code: the lit and unlit sides cost the same on a vector processor anyway.
    float facing = nDotL > 0.0 ? 1.0 : 0.0;
    lit += max(nDotL, 0.0) * uLightDiffuse.rgb * diffuseSource.rgb;
#if SPECULAR
    vec3 toEye = uEye - worldPosition.xyz;
    float eyeLength2 = dot(toEye, toEye);
    toEye = eyeLength2 > 0.0 ? toEye * inversesqrt(eyeLength2) : vec3(0.0);
    vec3 halfway = uToLight + toEye;
    float halfLength2 = dot(halfway, halfway);
    halfway = halfLength2 > 0.0 ? halfway * inversesqrt(halfLength2) : uToLight;
    float nDotH = max(dot(normal, halfway), 0.0);
    float strength = uMaterialPower > 0.0 ? (nDotH > 0.0 ? pow(nDotH, uMaterialPower) : 0.0) : 1.0;
    vSpecular = vec4(clamp(facing * strength * uLightSpecular.rgb * uMaterialSpecular.rgb, 0.0, 1.0), 0.0);
#endif
#endif
    vDiffuse = vec4(clamp(lit, 0.0, 1.0), clamp(diffuseSource.a, 0.0, 1.0));
#endif
#endif
}
)";

// Texture stage 0: colour and alpha operations on the texture and the interpolated diffuse colour,
// then the specular colour added on top, as the classic pipeline does after texturing. COLOUR_ARG1
// and the like name `texel` or `vDiffuse`.
const char* const FragmentShaderSource = R"(
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTexCoord;

uniform sampler2D uTexture;

out vec4 fragColour;

void main() {
#if TEXTURE
    vec4 texel = texture(uTexture, vTexCoord);
#else
    vec4 texel = vec4(1.0);
#endif
#if COLOUR_OP == OP_SELECT_ARG1
    vec3 colour = COLOUR_ARG1.rgb;
#elif COLOUR_OP == OP_SELECT_ARG2
    vec3 colour = COLOUR_ARG2.rgb;
#elif COLOUR_OP == OP_MODULATE
    vec3 colour = COLOUR_ARG1.rgb * COLOUR_ARG2.rgb;
#else
    vec3 colour = vDiffuse.rgb;
#endif
#if ALPHA_OP == OP_SELECT_ARG1
    float alpha = ALPHA_ARG1.a;
#elif ALPHA_OP == OP_SELECT_ARG2
    float alpha = ALPHA_ARG2.a;
#elif ALPHA_OP == OP_MODULATE
    float alpha = ALPHA_ARG1.a * ALPHA_ARG2.a;
#else
    float alpha = vDiffuse.a;
#endif
#if SPECULAR
    colour = min(colour + vSpecular.rgb, vec3(1.0));
#endif
    fragColour = vec4(colour, alpha);
}
)";

// Draws a kept layer back: each pixel the layer drew, with its colour and depth, through the layer's own
// depth test; nothing where it did not draw (left at the cleared depth, 1). uRect is the layer's extent in
// normalised device coordinates (left, bottom, right, top).
const char* const LayerVertexShaderSource = R"(#version 330 core
uniform vec4 uRect;
void main() {
    gl_Position = vec4((gl_VertexID & 1) != 0 ? uRect.z : uRect.x, (gl_VertexID & 2) != 0 ? uRect.w : uRect.y, 0.0, 1.0);
}
)";
const char* const LayerFragmentShaderSource = R"(#version 330 core
uniform sampler2D uLayerColour;
uniform sampler2D uLayerDepth;
out vec4 fragColour;
void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    float depth = texelFetch(uLayerDepth, pixel, 0).r;
    if (depth >= 1.0) discard;
    fragColour = texelFetch(uLayerColour, pixel, 0);
    gl_FragDepth = depth;
}
)";

// The switches one shader program is compiled for.
struct ShaderVariant {
    int layout = LayoutMesh;
    bool lighting = false, lightEnabled = false, specular = false, colourVertex = false, texture = false;
    uint32_t colourOp = OpDisable, alphaOp = OpDisable;
    bool colourArg1Texture = false, colourArg2Texture = false, alphaArg1Texture = false,
         alphaArg2Texture = false;

    uint32_t Key() const {
        return uint32_t(layout) | uint32_t(lighting) << 2 | uint32_t(lightEnabled) << 3 |
               uint32_t(specular) << 4 | uint32_t(colourVertex) << 5 | uint32_t(texture) << 6 |
               colourOp << 7 | alphaOp << 10 | uint32_t(colourArg1Texture) << 13 |
               uint32_t(colourArg2Texture) << 14 | uint32_t(alphaArg1Texture) << 15 |
               uint32_t(alphaArg2Texture) << 16;
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
        return text;
    }
};

Matrix Inverse(const Matrix& matrix, bool& ok) {
    // Gauss-Jordan with partial pivoting; only used when the view changes.
    float a[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            a[i][j] = matrix.m[i][j];
            a[i][j + 4] = i == j ? 1.0f : 0.0f;
        }
    ok = true;
    for (int column = 0; column < 4; ++column) {
        int pivot = column;
        for (int row = column + 1; row < 4; ++row)
            if (std::abs(a[row][column]) > std::abs(a[pivot][column])) pivot = row;
        if (std::abs(a[pivot][column]) < 1e-12f) {
            ok = false;
            return MatrixIdentity();
        }
        if (pivot != column)
            for (int j = 0; j < 8; ++j) std::swap(a[pivot][j], a[column][j]);
        const float scale = 1.0f / a[column][column];
        for (int j = 0; j < 8; ++j) a[column][j] *= scale;
        for (int row = 0; row < 4; ++row) {
            if (row == column) continue;
            const float factor = a[row][column];
            for (int j = 0; j < 8; ++j) a[row][j] -= factor * a[column][j];
        }
    }
    Matrix result;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) result.m[i][j] = a[i][j + 4];
    return result;
}

std::array<float, 4> ColourFromArgb(ColourArgb colour) {
    return {float((colour >> 16) & 0xFF) / 255.0f, float((colour >> 8) & 0xFF) / 255.0f,
            float(colour & 0xFF) / 255.0f, float((colour >> 24) & 0xFF) / 255.0f};
}

GLenum GlCompare(uint32_t func) {
    switch (func) {
        case CmpNever:
            return GL_NEVER;
        case CmpLess:
            return GL_LESS;
        case CmpEqual:
            return GL_EQUAL;
        case CmpLessEqual:
            return GL_LEQUAL;
        case CmpGreater:
            return GL_GREATER;
        case CmpNotEqual:
            return GL_NOTEQUAL;
        case CmpGreaterEqual:
            return GL_GEQUAL;
        default:
            return GL_ALWAYS;
    }
}

GLenum GlBlend(uint32_t factor) {
    switch (factor) {
        case BlendZero:
            return GL_ZERO;
        case BlendSrcColour:
            return GL_SRC_COLOR;
        case BlendInvSrcColour:
            return GL_ONE_MINUS_SRC_COLOR;
        case BlendSrcAlpha:
            return GL_SRC_ALPHA;
        case BlendInvSrcAlpha:
            return GL_ONE_MINUS_SRC_ALPHA;
        default:
            return GL_ONE;
    }
}

bool ValidRenderStateValue(RenderState state, uint32_t value) {
    switch (state) {
        case RenderState::ZFunc:
            return value >= CmpNever && value <= CmpAlways;
        case RenderState::SrcBlend:
        case RenderState::DestBlend:
            return value >= BlendZero && value <= BlendInvSrcAlpha;
        case RenderState::CullMode:
            return value >= CullNone && value <= CullCounterClockwise;
        default:
            return true;
    }
}

bool ValidStageValue(TextureStageState state, uint32_t value) {
    switch (state) {
        case TextureStageState::ColourOp:
        case TextureStageState::AlphaOp:
            return value >= OpDisable && value <= OpModulate;
        case TextureStageState::ColourArg1:
        case TextureStageState::ColourArg2:
        case TextureStageState::AlphaArg1:
        case TextureStageState::AlphaArg2:
            return value == ArgDiffuse || value == ArgTexture;
        case TextureStageState::AddressU:
        case TextureStageState::AddressV:
            return value == AddressWrap || value == AddressClamp;
        default:
            return value >= FilterNone && value <= FilterLinear;
    }
}

template <typename Index>
bool IndicesInRange(std::span<const Index> indices, size_t vertexCount) {
    Index largest = 0;
    for (Index index : indices) largest = std::max(largest, index);
    return size_t(largest) < vertexCount;
}

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
    GLenum depthFunc = 0, blendSource = 0, blendDestination = 0, cullFace = 0;
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

// Bit for bit: a kept picture is only reused for inputs that cannot draw anything else.
template <typename T>
bool SameBytes(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
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
    bool LayerExtent(std::array<float, 4>& rect) const;
    bool PrepareLayerTarget();
    void ReleaseLayerTarget();
    void PaintLayer();
    void DrawKeptLayer();

    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    std::unordered_map<uint32_t, ShaderProgram> programs;
    ShaderProgram* program = nullptr;  // the one in use
    GlStates gl;

    GLuint meshArray = 0, quadArray = 0, screenArray = 0;
    StreamBuffer meshVertices, quadVertices, screenVertices, indexStream, instanceStream;

    int backBufferWidth = 0, backBufferHeight = 0;
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

    std::unordered_map<PartKey, CachedPart, PartKeyHash> cache;
    Statistics statistics;

    // The layer being recorded, the one kept from an earlier frame and the offscreen target it lives in.
    bool recordingLayer = false;
    std::vector<LayerDraw> layerDraws;
    KeptLayer kept;
    GLuint layerFramebuffer = 0, layerColour = 0, layerDepth = 0, layerProgram = 0;
    GLint layerRectLocation = -1;
    int layerWidth = 0, layerHeight = 0;
    bool layersUnsupported = false;
};

GlTexture::~GlTexture() {
    if (owner->device) owner->device->ForgetTexture(this);
}

GLuint CompileShader(GLenum kind, const std::string& preamble, const char* source, std::string& error) {
    GLuint shader = glCreateShader(kind);
    const char* parts[] = {preamble.c_str(), source};
    glShaderSource(shader, 2, parts, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        error = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader: " + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// The linked program of the two sources, or 0 with the reason.
GLuint BuildProgram(const std::string& preamble, const char* vertexSource, const char* fragmentSource,
                    std::string& error) {
    const GLuint vertexShader = CompileShader(GL_VERTEX_SHADER, preamble, vertexSource, error);
    const GLuint fragmentShader =
        vertexShader ? CompileShader(GL_FRAGMENT_SHADER, preamble, fragmentSource, error) : 0;
    GLuint name = 0;
    if (vertexShader && fragmentShader) {
        name = glCreateProgram();
        glAttachShader(name, vertexShader);
        glAttachShader(name, fragmentShader);
        glLinkProgram(name);
        GLint linked = GL_FALSE;
        glGetProgramiv(name, GL_LINK_STATUS, &linked);
        if (!linked) {
            char log[2048] = {};
            glGetProgramInfoLog(name, sizeof log, nullptr, log);
            error = std::string("shader program: ") + log;
            glDeleteProgram(name);
            name = 0;
        }
    }
    if (vertexShader) glDeleteShader(vertexShader);
    if (fragmentShader) glDeleteShader(fragmentShader);
    return name;
}

bool Device::Initialise(int width, int height, std::string& error) {
    shared->device = this;
    if (epoxy_gl_version() < 33) {
        error = "OpenGL 3.3 is not available";
        return false;
    }
    // Each ring holds several frames' worth (a frame's text is some tens of kilobytes of screen
    // vertices); every byte of them stays resident, so they are no larger than that.
    meshVertices.Create(1 << 18);
    quadVertices.Create(1 << 18);
    screenVertices.Create(1 << 19);
    indexStream.Create(1 << 18);
    instanceStream.Create(1 << 18);

    // One vertex array per streamed layout, all reading the shared index stream.
    glGenVertexArrays(1, &meshArray);
    glGenVertexArrays(1, &quadArray);
    glGenVertexArrays(1, &screenArray);
    auto attribute = [](GLuint location, GLint size, GLenum type, GLboolean normalised, GLsizei stride,
                        size_t offset) {
        glEnableVertexAttribArray(location);
        glVertexAttribPointer(location, size, type, normalised, stride,
                              reinterpret_cast<const void*>(offset));
    };
    glBindVertexArray(meshArray);
    glBindBuffer(GL_ARRAY_BUFFER, meshVertices.Name());
    attribute(AttrPosition, 3, GL_FLOAT, GL_FALSE, sizeof(MeshVertex), offsetof(MeshVertex, x));
    attribute(AttrNormal, 3, GL_FLOAT, GL_FALSE, sizeof(MeshVertex), offsetof(MeshVertex, nx));
    attribute(AttrTexCoord, 2, GL_FLOAT, GL_FALSE, sizeof(MeshVertex), offsetof(MeshVertex, u));
    for (GLuint i = 0; i < 4; ++i) glVertexAttribDivisor(AttrWorld + i, 1);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexStream.Name());

    glBindVertexArray(quadArray);
    glBindBuffer(GL_ARRAY_BUFFER, quadVertices.Name());
    attribute(AttrPosition, 3, GL_FLOAT, GL_FALSE, sizeof(QuadVertex), offsetof(QuadVertex, x));
    // ARGB words are B, G, R, A bytes in memory: GL_BGRA reads them as red, green, blue, alpha.
    attribute(AttrColour, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(QuadVertex),
              offsetof(QuadVertex, diffuse));
    attribute(AttrTexCoord, 2, GL_FLOAT, GL_FALSE, sizeof(QuadVertex), offsetof(QuadVertex, u));
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexStream.Name());

    glBindVertexArray(screenArray);
    glBindBuffer(GL_ARRAY_BUFFER, screenVertices.Name());
    attribute(AttrPosition, 4, GL_FLOAT, GL_FALSE, sizeof(ScreenVertex), offsetof(ScreenVertex, x));
    attribute(AttrColour, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(ScreenVertex),
              offsetof(ScreenVertex, diffuse));
    attribute(AttrSpecular, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(ScreenVertex),
              offsetof(ScreenVertex, specular));
    attribute(AttrTexCoord, 2, GL_FLOAT, GL_FALSE, sizeof(ScreenVertex), offsetof(ScreenVertex, u));
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexStream.Name());
    glBindVertexArray(0);
    glActiveTexture(GL_TEXTURE0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);

    // The classic device's initial states.
    renderStates[int(RenderState::ZEnable)] = 1;
    renderStates[int(RenderState::ZWriteEnable)] = 1;
    renderStates[int(RenderState::ZFunc)] = CmpLessEqual;
    renderStates[int(RenderState::Lighting)] = 1;
    renderStates[int(RenderState::Ambient)] = 0;
    renderStates[int(RenderState::SpecularEnable)] = 0;
    renderStates[int(RenderState::DitherEnable)] = 0;
    renderStates[int(RenderState::ColourVertex)] = 1;
    renderStates[int(RenderState::AlphaBlendEnable)] = 0;
    renderStates[int(RenderState::SrcBlend)] = BlendOne;
    renderStates[int(RenderState::DestBlend)] = BlendZero;
    renderStates[int(RenderState::CullMode)] = CullCounterClockwise;
    stageStates[int(TextureStageState::ColourOp)] = OpModulate;
    stageStates[int(TextureStageState::ColourArg1)] = ArgTexture;
    stageStates[int(TextureStageState::ColourArg2)] = ArgDiffuse;
    // Alpha modulates texture and diffuse by default, so a material's alpha shows on untextured and
    // textured subsets alike (the texture of an untextured stage reads as opaque white).
    stageStates[int(TextureStageState::AlphaOp)] = OpModulate;
    stageStates[int(TextureStageState::AlphaArg1)] = ArgTexture;
    stageStates[int(TextureStageState::AlphaArg2)] = ArgDiffuse;
    stageStates[int(TextureStageState::AddressU)] = AddressWrap;
    stageStates[int(TextureStageState::AddressV)] = AddressWrap;
    stageStates[int(TextureStageState::MagFilter)] = FilterPoint;
    stageStates[int(TextureStageState::MinFilter)] = FilterPoint;
    stageStates[int(TextureStageState::MipFilter)] = FilterNone;
    material.diffuse = material.ambient = {1, 1, 1, 1};
    light.diffuse = {1, 1, 1, 0};

    // Triangles clockwise as the viewer sees them are front faces; GL's window y runs upwards like the
    // viewer's, so GL's clockwise is the same clockwise.
    glFrontFace(GL_CW);
    SetBackBufferSize(width, height);
    UploadViewProjection();
    // The variant of the initial states: if this one cannot be built, none can.
    if (!UseProgram(CurrentVariant(LayoutMesh), &error)) return false;
    if (glGetError() != GL_NO_ERROR) {
        error = "OpenGL reported an error while setting up the device";
        return false;
    }
    return true;
}

Device::~Device() {
    shared->device = nullptr;
    ReleaseLayerTarget();
    if (layerProgram) glDeleteProgram(layerProgram);
    for (auto& [key, part] : cache) DeletePart(part);
    cache.clear();
    meshVertices.Destroy();
    quadVertices.Destroy();
    screenVertices.Destroy();
    indexStream.Destroy();
    instanceStream.Destroy();
    GLuint arrays[] = {meshArray, quadArray, screenArray};
    glDeleteVertexArrays(3, arrays);
    for (auto& [key, variant] : programs)
        if (variant.name) glDeleteProgram(variant.name);
}

void Device::SetBackBufferSize(int width, int height) {
    backBufferWidth = std::max(width, 1);
    backBufferHeight = std::max(height, 1);
    glViewport(0, 0, backBufferWidth, backBufferHeight);
    kept.valid = false;
}

HResult Device::BeginScene() {
    if (inScene) return E_FAIL;
    inScene = true;
    return S_OK;
}

HResult Device::EndScene() {
    if (!inScene) return E_FAIL;
    inScene = false;
    if (++frame % SweepInterval == 0) SweepCache();
    return S_OK;
}

HResult Device::Clear(uint32_t flags, ColourArgb colour, float z) {
    GLbitfield mask = 0;
    if (flags & ClearTarget) {
        const auto c = ColourFromArgb(colour);
        glClearColor(c[0], c[1], c[2], c[3]);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & ClearDepth) {
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
        // Clearing depth needs depth writes on; the next draw sets the game's choice again.
        if (gl.depthMask != 1) {
            glDepthMask(GL_TRUE);
            gl.depthMask = 1;
        }
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (!mask) return E_FAIL;
    if (recordingLayer) DrawRecordedToBackBuffer();
    glClear(mask);
    return S_OK;
}

HResult Device::SetTransform(TransformKind kind, const Matrix& matrix) {
    switch (kind) {
        case TransformKind::World:
            world = matrix;
            return S_OK;
        case TransformKind::View:
            view = matrix;
            break;
        case TransformKind::Projection:
            projection = matrix;
            break;
        default:
            return E_FAIL;
    }
    UploadViewProjection();
    return S_OK;
}

HResult Device::GetTransform(TransformKind kind, Matrix& matrix) const {
    switch (kind) {
        case TransformKind::World:
            matrix = world;
            return S_OK;
        case TransformKind::View:
            matrix = view;
            return S_OK;
        case TransformKind::Projection:
            matrix = projection;
            return S_OK;
        default:
            return E_FAIL;
    }
}

void Device::UploadViewProjection() {
    viewProjection = view * projection;
    bool invertible = false;
    const Matrix cameraToWorld = Inverse(view, invertible);
    eye =
        invertible ? Vector3{cameraToWorld.m[3][0], cameraToWorld.m[3][1], cameraToWorld.m[3][2]} : Vector3{};
}

HResult Device::GetViewport(Viewport& viewport) const {
    viewport = Viewport{0, 0, backBufferWidth, backBufferHeight, 0.0f, 1.0f};
    return S_OK;
}

HResult Device::SetRenderState(RenderState state, uint32_t value) {
    const int index = int(state);
    if (index < 0 || index >= RenderStateCount || !ValidRenderStateValue(state, value)) return E_FAIL;
    renderStates[index] = value;
    return S_OK;
}

uint32_t Device::GetRenderState(RenderState state) const {
    const int index = int(state);
    return index >= 0 && index < RenderStateCount ? renderStates[index] : 0;
}

HResult Device::SetLight(int index, const Light& newLight) {
    if (index != 0) return E_FAIL;
    light = newLight;
    // The shader wants the direction towards the light.
    const Vector3 direction = Normalize(newLight.direction);
    toLight = {-direction.x, -direction.y, -direction.z};
    return S_OK;
}

HResult Device::LightEnable(int index, bool enable) {
    if (index != 0) return E_FAIL;
    lightEnabled = enable;
    return S_OK;
}

HResult Device::SetMaterial(const Material& newMaterial) {
    material = newMaterial;
    return S_OK;
}

HResult Device::SetTexture(int stage, Texture* texture) {
    if (stage != 0) return E_FAIL;
    auto* glTexture = dynamic_cast<GlTexture*>(texture);
    if (texture && (!glTexture || glTexture->owner.get() != shared.get())) return E_FAIL;
    boundTexture = glTexture;
    return S_OK;
}

HResult Device::SetTextureStageState(int stage, TextureStageState state, uint32_t value) {
    const int index = int(state);
    if (stage != 0 || index < 0 || index >= StageStateCount || !ValidStageValue(state, value)) return E_FAIL;
    stageStates[index] = value;
    return S_OK;
}

uint32_t Device::GetTextureStageState(int stage, TextureStageState state) const {
    const int index = int(state);
    return stage == 0 && index >= 0 && index < StageStateCount ? stageStates[index] : 0;
}

void Device::ForgetTexture(GlTexture* texture) {
    if (boundTexture == texture) boundTexture = nullptr;
    for (LayerDraw& draw : layerDraws)
        if (draw.inputs.texture == texture) draw.inputs.texture = nullptr;
    if (gl.texture == texture->name) gl.texture = ~0u;
    glDeleteTextures(1, &texture->name);
}

void Device::BindVertexArray(GLuint vertexArray) {
    if (gl.vertexArray != vertexArray) {
        glBindVertexArray(vertexArray);
        gl.vertexArray = vertexArray;
    }
}

void Device::SetWorldAttribute(const Matrix& matrix) {
    if (attributeWorldValid && attributeWorld == matrix) return;
    for (GLuint row = 0; row < 4; ++row) glVertexAttrib4fv(AttrWorld + row, matrix.m[row]);
    attributeWorld = matrix;
    attributeWorldValid = true;
}

void Device::ApplyTexture() {
    GlTexture* texture = boundTexture;
    if (!texture) return;
    if (gl.texture != texture->name) {
        glBindTexture(GL_TEXTURE_2D, texture->name);
        gl.texture = texture->name;
    }
    const uint32_t mip = stageStates[int(TextureStageState::MipFilter)];
    const bool linearMin = stageStates[int(TextureStageState::MinFilter)] == FilterLinear;
    if (mip != FilterNone && !texture->hasMipmaps) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
        glGenerateMipmap(GL_TEXTURE_2D);
        texture->hasMipmaps = true;
    }
    GLint minFilter;
    if (mip == FilterNone)
        minFilter = linearMin ? GL_LINEAR : GL_NEAREST;
    else if (mip == FilterLinear)
        minFilter = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    else
        minFilter = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    const GLint magFilter =
        stageStates[int(TextureStageState::MagFilter)] == FilterLinear ? GL_LINEAR : GL_NEAREST;
    const GLint wrapS =
        stageStates[int(TextureStageState::AddressU)] == AddressClamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    const GLint wrapT =
        stageStates[int(TextureStageState::AddressV)] == AddressClamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    if (texture->minFilter != minFilter)
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, texture->minFilter = minFilter);
    if (texture->magFilter != magFilter)
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, texture->magFilter = magFilter);
    if (texture->wrapS != wrapS) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, texture->wrapS = wrapS);
    if (texture->wrapT != wrapT) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, texture->wrapT = wrapT);
}

ShaderVariant Device::CurrentVariant(Layout layout) const {
    auto rs = [this](RenderState state) { return renderStates[int(state)]; };
    auto stage = [this](TextureStageState state) { return stageStates[int(state)]; };
    ShaderVariant variant;
    variant.layout = layout;
    const bool specularEnable = rs(RenderState::SpecularEnable) != 0;
    if (layout == LayoutScreen) {
        variant.specular = specularEnable;
    } else if (rs(RenderState::Lighting) != 0) {
        variant.lighting = true;
        variant.lightEnabled = lightEnabled;
        variant.specular = specularEnable && lightEnabled;
        variant.colourVertex = layout == LayoutQuad && rs(RenderState::ColourVertex) != 0;
    }
    variant.texture = boundTexture != nullptr;
    // Arguments an operation does not read are left out of the key, so they share one program.
    variant.colourOp = stage(TextureStageState::ColourOp);
    if (variant.colourOp == OpSelectArg1 || variant.colourOp == OpModulate)
        variant.colourArg1Texture = stage(TextureStageState::ColourArg1) == ArgTexture;
    if (variant.colourOp == OpSelectArg2 || variant.colourOp == OpModulate)
        variant.colourArg2Texture = stage(TextureStageState::ColourArg2) == ArgTexture;
    variant.alphaOp = stage(TextureStageState::AlphaOp);
    if (variant.alphaOp == OpSelectArg1 || variant.alphaOp == OpModulate)
        variant.alphaArg1Texture = stage(TextureStageState::AlphaArg1) == ArgTexture;
    if (variant.alphaOp == OpSelectArg2 || variant.alphaOp == OpModulate)
        variant.alphaArg2Texture = stage(TextureStageState::AlphaArg2) == ArgTexture;
    return variant;
}

ShaderProgram* Device::UseProgram(const ShaderVariant& variant, std::string* error) {
    auto [entry, added] = programs.try_emplace(variant.Key());
    ShaderProgram& variantProgram = entry->second;
    if (added) {
        std::string message;
        variantProgram.name =
            BuildProgram(variant.Preamble(), VertexShaderSource, FragmentShaderSource, message);
        if (variantProgram.name) {
            const GLuint name = variantProgram.name;
            auto at = [name](const char* uniform) { return glGetUniformLocation(name, uniform); };
            variantProgram.uniforms = {at("uViewProjection"),   at("uEye"),
                                       at("uViewportSize"),     at("uAmbient"),
                                       at("uMaterialDiffuse"),  at("uMaterialAmbient"),
                                       at("uMaterialSpecular"), at("uMaterialEmissive"),
                                       at("uMaterialPower"),    at("uToLight"),
                                       at("uLightDiffuse"),     at("uLightSpecular"),
                                       at("uLightAmbient")};
            glUseProgram(name);
            glUniform1i(glGetUniformLocation(name, "uTexture"), 0);
            program = &variantProgram;
        } else if (error) {
            *error = message;
        }
    }
    if (!variantProgram.name) return nullptr;
    if (program != &variantProgram) {
        glUseProgram(variantProgram.name);
        program = &variantProgram;
    }
    return program;
}

bool Device::ApplyState(Layout layout) {
    auto rs = [this](RenderState state) { return renderStates[int(state)]; };
    auto setColour = [](GLint location, const ColourValue& c) { glUniform4f(location, c.r, c.g, c.b, c.a); };

    // Fixed-function GL state.
    auto toggle = [](GLenum capability, int& cached, bool on) {
        if (cached != int(on)) {
            on ? glEnable(capability) : glDisable(capability);
            cached = on;
        }
    };
    toggle(GL_DEPTH_TEST, gl.depthTest, rs(RenderState::ZEnable) != 0);
    const GLenum depthFunc = GlCompare(rs(RenderState::ZFunc));
    if (gl.depthFunc != depthFunc) glDepthFunc(gl.depthFunc = depthFunc);
    const int depthMask = rs(RenderState::ZWriteEnable) != 0;
    if (gl.depthMask != depthMask) {
        glDepthMask(depthMask ? GL_TRUE : GL_FALSE);
        gl.depthMask = depthMask;
    }
    toggle(GL_BLEND, gl.blend, rs(RenderState::AlphaBlendEnable) != 0);
    const GLenum source = GlBlend(rs(RenderState::SrcBlend)),
                 destination = GlBlend(rs(RenderState::DestBlend));
    if (gl.blendSource != source || gl.blendDestination != destination) {
        glBlendFunc(source, destination);
        gl.blendSource = source;
        gl.blendDestination = destination;
    }
    const uint32_t cullMode = rs(RenderState::CullMode);
    toggle(GL_CULL_FACE, gl.cull, cullMode != CullNone);
    // Front faces are the viewer's clockwise ones: culling counter-clockwise culls GL's back faces.
    const GLenum cullFace = cullMode == CullClockwise ? GL_FRONT : GL_BACK;
    if (cullMode != CullNone && gl.cullFace != cullFace) glCullFace(gl.cullFace = cullFace);

    // The program for these switches, and the inputs it reads.
    const ShaderVariant variant = CurrentVariant(layout);
    if (!UseProgram(variant)) return false;
    const UniformLocations& uniforms = program->uniforms;
    UploadedUniforms& uploaded = program->uploaded;
    ApplyTexture();
    if (layout == LayoutScreen) {
        if (uploaded.viewportWidth != float(backBufferWidth) ||
            uploaded.viewportHeight != float(backBufferHeight)) {
            uploaded.viewportWidth = float(backBufferWidth);
            uploaded.viewportHeight = float(backBufferHeight);
            glUniform2f(uniforms.viewportSize, uploaded.viewportWidth, uploaded.viewportHeight);
        }
        return true;
    }
    if (uploaded.viewProjection != viewProjection) {
        glUniformMatrix4fv(uniforms.viewProjection, 1, GL_FALSE, &viewProjection.m[0][0]);
        uploaded.viewProjection = viewProjection;
    }
    if (!variant.lighting) return true;
    if (variant.specular && (uploaded.eye.x != eye.x || uploaded.eye.y != eye.y || uploaded.eye.z != eye.z)) {
        glUniform3f(uniforms.eye, eye.x, eye.y, eye.z);
        uploaded.eye = eye;
    }
    const auto ambient = ColourFromArgb(rs(RenderState::Ambient));
    if (uploaded.ambient[0] != ambient[0] || uploaded.ambient[1] != ambient[1] ||
        uploaded.ambient[2] != ambient[2]) {
        glUniform3f(uniforms.ambient, ambient[0], ambient[1], ambient[2]);
        uploaded.ambient = {ambient[0], ambient[1], ambient[2]};
    }
    if (!uploaded.materialValid || std::memcmp(&uploaded.material, &material, sizeof material) != 0) {
        setColour(uniforms.materialDiffuse, material.diffuse);
        setColour(uniforms.materialAmbient, material.ambient);
        setColour(uniforms.materialSpecular, material.specular);
        setColour(uniforms.materialEmissive, material.emissive);
        glUniform1f(uniforms.materialPower, material.power);
        uploaded.material = material;
        uploaded.materialValid = true;
    }
    if (variant.lightEnabled &&
        (!uploaded.lightValid || std::memcmp(&uploaded.light, &light, sizeof light) != 0 ||
         std::memcmp(&uploaded.toLight, &toLight, sizeof toLight) != 0)) {
        setColour(uniforms.lightDiffuse, light.diffuse);
        setColour(uniforms.lightSpecular, light.specular);
        setColour(uniforms.lightAmbient, light.ambient);
        glUniform3f(uniforms.toLight, toLight.x, toLight.y, toLight.z);
        uploaded.light = light;
        uploaded.toLight = toLight;
        uploaded.lightValid = true;
    }
    return true;
}

HResult Device::DrawIndexed(std::span<const QuadVertex> vertices, std::span<const uint16_t> indices) {
    const GLsizei count = GLsizei(indices.size() / 3 * 3);
    if (count == 0 || vertices.empty() || !IndicesInRange(indices, vertices.size())) return E_FAIL;
    if (recordingLayer) DrawRecordedToBackBuffer();
    const size_t vertexOffset =
        quadVertices.Write(vertices.data(), vertices.size_bytes(), sizeof(QuadVertex));
    const size_t indexOffset = indexStream.Write(indices.data(), indices.size_bytes(), 4);
    BindVertexArray(quadArray);
    if (!ApplyState(LayoutQuad)) return E_FAIL;
    SetWorldAttribute(world);
    glDrawElementsBaseVertex(GL_TRIANGLES, count, GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(indexOffset),
                             GLint(vertexOffset / sizeof(QuadVertex)));
    ++statistics.drawCalls;
    return S_OK;
}

HResult Device::DrawIndexed(std::span<const ScreenVertex> vertices, std::span<const uint16_t> indices) {
    const GLsizei count = GLsizei(indices.size() / 3 * 3);
    if (count == 0 || vertices.empty() || !IndicesInRange(indices, vertices.size())) return E_FAIL;
    if (recordingLayer) DrawRecordedToBackBuffer();
    const size_t vertexOffset =
        screenVertices.Write(vertices.data(), vertices.size_bytes(), sizeof(ScreenVertex));
    const size_t indexOffset = indexStream.Write(indices.data(), indices.size_bytes(), 4);
    BindVertexArray(screenArray);
    if (!ApplyState(LayoutScreen)) return E_FAIL;
    glDrawElementsBaseVertex(GL_TRIANGLES, count, GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(indexOffset),
                             GLint(vertexOffset / sizeof(ScreenVertex)));
    ++statistics.drawCalls;
    return S_OK;
}

void Device::PrepareInstances(std::span<const Matrix> worlds) {
    const size_t offset = instanceStream.Write(worlds.data(), worlds.size_bytes(), sizeof(Matrix));
    glBindBuffer(GL_ARRAY_BUFFER, instanceStream.Name());
    for (GLuint row = 0; row < 4; ++row) {
        glEnableVertexAttribArray(AttrWorld + row);
        glVertexAttribPointer(AttrWorld + row, 4, GL_FLOAT, GL_FALSE, sizeof(Matrix),
                              reinterpret_cast<const void*>(offset + row * 4 * sizeof(float)));
    }
}

void Device::FinishInstances() {
    for (GLuint row = 0; row < 4; ++row) glDisableVertexAttribArray(AttrWorld + row);
    // The constant world attribute is undefined after a draw that read it from an array.
    attributeWorldValid = false;
}

HResult Device::DrawMeshGeometry(GLuint vertexArray, GLsizei indexCount, const void* indexOffset,
                                 GLint baseVertex, std::span<const Matrix> worlds) {
    BindVertexArray(vertexArray);
    if (!ApplyState(LayoutMesh)) return E_FAIL;
    if (worlds.empty()) {
        SetWorldAttribute(world);
        glDrawElementsBaseVertex(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, indexOffset, baseVertex);
    } else {
        PrepareInstances(worlds);
        glDrawElementsInstancedBaseVertex(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, indexOffset,
                                          GLsizei(worlds.size()), baseVertex);
        FinishInstances();
    }
    ++statistics.drawCalls;
    return S_OK;
}

HResult Device::DrawIndexed(std::span<const MeshVertex> vertices, std::span<const uint32_t> indices) {
    return DrawIndexedInstanced(vertices, indices, {});
}

HResult Device::DrawIndexedInstanced(std::span<const MeshVertex> vertices, std::span<const uint32_t> indices,
                                     std::span<const Matrix> worlds) {
    const GLsizei count = GLsizei(std::min<size_t>(indices.size(), 0x7FFFFFFF) / 3 * 3);
    if (count == 0 || vertices.empty() || !IndicesInRange(indices, vertices.size())) return E_FAIL;
    if (recordingLayer) DrawRecordedToBackBuffer();
    const size_t vertexOffset =
        meshVertices.Write(vertices.data(), vertices.size_bytes(), sizeof(MeshVertex));
    const size_t indexOffset = indexStream.Write(indices.data(), size_t(count) * sizeof(uint32_t), 4);
    return DrawMeshGeometry(meshArray, count, reinterpret_cast<const void*>(indexOffset),
                            GLint(vertexOffset / sizeof(MeshVertex)), worlds);
}

void Device::DeletePart(CachedPart& part) {
    if (part.vertexArray) glDeleteVertexArrays(1, &part.vertexArray);
    GLuint buffers[] = {part.vertexBuffer, part.indexBuffer};
    glDeleteBuffers(2, buffers);
    part = CachedPart{};
}

HResult Device::DrawStaticIndexed(const std::shared_ptr<const uint64_t>& owner, size_t part,
                                  std::span<const MeshVertex> vertices, std::span<const uint32_t> indices,
                                  std::span<const Matrix> worlds) {
    if (!owner) return DrawIndexedInstanced(vertices, indices, worlds);
    auto [entry, added] = cache.try_emplace(PartKey{*owner, part});
    CachedPart& cached = entry->second;
    if (added) {
        cached.owner = owner;
        const GLsizei count = GLsizei(std::min<size_t>(indices.size(), 0x7FFFFFFF) / 3 * 3);
        cached.valid = count > 0 && !vertices.empty() && IndicesInRange(indices, vertices.size());
        if (!cached.valid) return E_FAIL;
        cached.indexCount = count;
        cached.lowest = cached.highest = {vertices[0].x, vertices[0].y, vertices[0].z};
        for (const MeshVertex& vertex : vertices) {
            cached.lowest = {std::min(cached.lowest.x, vertex.x), std::min(cached.lowest.y, vertex.y),
                             std::min(cached.lowest.z, vertex.z)};
            cached.highest = {std::max(cached.highest.x, vertex.x), std::max(cached.highest.y, vertex.y),
                              std::max(cached.highest.z, vertex.z)};
        }
        glGenVertexArrays(1, &cached.vertexArray);
        GLuint buffers[2];
        glGenBuffers(2, buffers);
        cached.vertexBuffer = buffers[0];
        cached.indexBuffer = buffers[1];
        BindVertexArray(cached.vertexArray);
        glBindBuffer(GL_ARRAY_BUFFER, cached.vertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size_bytes()), vertices.data(), GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, cached.indexBuffer);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(size_t(count) * sizeof(uint32_t)), indices.data(),
                     GL_STATIC_DRAW);
        auto attribute = [](GLuint location, GLint size, size_t offset) {
            glEnableVertexAttribArray(location);
            glVertexAttribPointer(location, size, GL_FLOAT, GL_FALSE, sizeof(MeshVertex),
                                  reinterpret_cast<const void*>(offset));
        };
        attribute(AttrPosition, 3, offsetof(MeshVertex, x));
        attribute(AttrNormal, 3, offsetof(MeshVertex, nx));
        attribute(AttrTexCoord, 2, offsetof(MeshVertex, u));
        for (GLuint i = 0; i < 4; ++i) glVertexAttribDivisor(AttrWorld + i, 1);
        ++statistics.meshUploads;
    }
    if (!cached.valid) return E_FAIL;
    if (recordingLayer) {
        // Held back until the layer ends; the program is built now so that a failure is reported here.
        if (!UseProgram(CurrentVariant(LayoutMesh))) return E_FAIL;
        layerDraws.push_back(
            {CurrentInputs(), entry->first, std::vector<Matrix>(worlds.begin(), worlds.end())});
        return S_OK;
    }
    return DrawMeshGeometry(cached.vertexArray, cached.indexCount, nullptr, 0, worlds);
}

void Device::SweepCache() {
    for (auto it = cache.begin(); it != cache.end();) {
        if (it->second.owner.expired()) {
            if (gl.vertexArray == it->second.vertexArray) gl.vertexArray = ~0u;
            DeletePart(it->second);
            it = cache.erase(it);
        } else {
            ++it;
        }
    }
}

std::unique_ptr<Texture> Device::CreateTextureFromFile(const std::string& nativePath) {
    Image image;
    std::string error;
    if (!LoadImageFile(nativePath, image, error)) return nullptr;
    return CreateTextureFromPixels(image.width, image.height, image.rgba);
}

std::unique_ptr<Texture> Device::CreateTextureFromPixels(int width, int height,
                                                         std::span<const uint8_t> rgba) {
    if (width <= 0 || height <= 0 || width > MaxImageSide || height > MaxImageSide ||
        rgba.size() < size_t(width) * size_t(height) * 4)
        return nullptr;
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    gl.texture = name;
    // Rows go in top row first, so texture coordinate v = 0 is the picture's top row.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &name);
        gl.texture = ~0u;
        return nullptr;
    }
    return std::make_unique<GlTexture>(shared, name, width, height);
}

bool Device::ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height) {
    width = backBufferWidth;
    height = backBufferHeight;
    const size_t rowBytes = size_t(width) * 4;
    std::vector<uint8_t> bottomUp(rowBytes * size_t(height));
    while (glGetError() != GL_NO_ERROR) {
    }
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    if (glGetError() != GL_NO_ERROR) return false;
    rgba.resize(bottomUp.size());
    for (int row = 0; row < height; ++row)
        std::memcpy(&rgba[size_t(row) * rowBytes], &bottomUp[size_t(height - 1 - row) * rowBytes], rowBytes);
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    return true;
}

DrawInputs Device::CurrentInputs() const {
    DrawInputs inputs;
    inputs.renderStates = renderStates;
    inputs.stageStates = stageStates;
    inputs.material = material;
    inputs.light = light;
    inputs.toLight = toLight;
    inputs.lightEnabled = lightEnabled;
    inputs.texture = boundTexture;
    inputs.textureSerial = boundTexture ? boundTexture->serial : 0;
    inputs.world = world;
    inputs.view = view;
    inputs.projection = projection;
    return inputs;
}

void Device::RestoreInputs(const DrawInputs& inputs) {
    renderStates = inputs.renderStates;
    stageStates = inputs.stageStates;
    material = inputs.material;
    light = inputs.light;
    toLight = inputs.toLight;
    lightEnabled = inputs.lightEnabled;
    boundTexture = inputs.texture;
    world = inputs.world;
    if (!SameBytes(view, inputs.view) || !SameBytes(projection, inputs.projection)) {
        view = inputs.view;
        projection = inputs.projection;
        UploadViewProjection();
    }
}

void Device::DrawRecorded(const LayerDraw& draw) {
    auto found = cache.find(draw.part);
    if (found == cache.end() || !found->second.valid) return;
    const DrawInputs current = CurrentInputs();
    RestoreInputs(draw.inputs);
    DrawMeshGeometry(found->second.vertexArray, found->second.indexCount, nullptr, 0, draw.worlds);
    RestoreInputs(current);
}

void Device::DrawRecordedToBackBuffer() {
    recordingLayer = false;
    for (const LayerDraw& draw : layerDraws) DrawRecorded(draw);
    layerDraws.clear();
}

void Device::BeginLayer() {
    if (recordingLayer) return;
    recordingLayer = true;
    layerDraws.clear();
}

// A layer is kept offscreen, drawn over a cleared depth buffer, and drawn back with its depth through
// its own depth test. For opaque draws that all test less (or less-or-equal) and write depth, that gives
// exactly what drawing them over the depth buffer in place gives: the fragments that would pass in place
// are those passing over the cleared buffer that are also nearer than what the pixel held, and as the
// depths of passing fragments only ever fall, the last of them is the one kept.
void Device::EndLayer() {
    if (!recordingLayer) return;
    const uint32_t depthFunc =
        layerDraws.empty() ? 0 : layerDraws.front().inputs.renderStates[int(RenderState::ZFunc)];
    bool keepable = depthFunc == CmpLess || depthFunc == CmpLessEqual;
    for (const LayerDraw& draw : layerDraws) {
        const auto& states = draw.inputs.renderStates;
        keepable = keepable && !states[int(RenderState::AlphaBlendEnable)] &&
                   states[int(RenderState::ZEnable)] && states[int(RenderState::ZWriteEnable)] &&
                   states[int(RenderState::ZFunc)] == depthFunc;
    }
    if (!keepable || !PrepareLayerTarget()) {
        DrawRecordedToBackBuffer();
        return;
    }
    recordingLayer = false;
    if (kept.valid && kept.draws == layerDraws) {
        ++statistics.layerReuses;
    } else {
        kept.valid = false;
        if (!LayerExtent(kept.rect)) {
            DrawRecordedToBackBuffer();
            return;
        }
        PaintLayer();
        if (layersUnsupported) {
            DrawRecordedToBackBuffer();
            return;
        }
        kept.valid = true;
        kept.draws = std::move(layerDraws);
        kept.depthFunc = depthFunc;
        ++statistics.layerPaints;
    }
    layerDraws.clear();
    DrawKeptLayer();
}

// The screen rectangle holding every recorded draw, from the boxes around the meshes; false when some
// box reaches behind the eye, or so near the far plane that a pixel drawn there could not be told from
// one left at the cleared depth.
bool Device::LayerExtent(std::array<float, 4>& rect) const {
    float left = 1, bottom = 1, right = -1, top = -1;
    for (const LayerDraw& draw : layerDraws) {
        auto found = cache.find(draw.part);
        if (found == cache.end() || !found->second.valid) continue;
        const CachedPart& part = found->second;
        const Matrix viewProjectionOfDraw = draw.inputs.view * draw.inputs.projection;
        const std::span<const Matrix> worlds = draw.worlds.empty()
                                                   ? std::span<const Matrix>(&draw.inputs.world, 1)
                                                   : std::span<const Matrix>(draw.worlds);
        for (const Matrix& instance : worlds) {
            const Matrix toClip = instance * viewProjectionOfDraw;
            for (int corner = 0; corner < 8; ++corner) {
                const float p[4] = {corner & 1 ? part.highest.x : part.lowest.x,
                                    corner & 2 ? part.highest.y : part.lowest.y,
                                    corner & 4 ? part.highest.z : part.lowest.z, 1};
                float clip[4];
                for (int j = 0; j < 4; ++j)
                    clip[j] = p[0] * toClip.m[0][j] + p[1] * toClip.m[1][j] + p[2] * toClip.m[2][j] +
                              p[3] * toClip.m[3][j];
                if (!(clip[3] > 1e-6f)) return false;
                const float x = clip[0] / clip[3], y = clip[1] / clip[3], depth = clip[2] / clip[3];
                if (!std::isfinite(x) || !std::isfinite(y) || !(depth < 0.9999f)) return false;
                left = std::min(left, x);
                right = std::max(right, x);
                bottom = std::min(bottom, y);
                top = std::max(top, y);
            }
        }
    }
    // Two pixels more on each side, for the rasteriser's rounding; never beyond the view.
    const float marginX = 4.0f / float(backBufferWidth), marginY = 4.0f / float(backBufferHeight);
    rect = {std::max(left - marginX, -1.0f), std::max(bottom - marginY, -1.0f),
            std::min(right + marginX, 1.0f), std::min(top + marginY, 1.0f)};
    return true;
}

// The offscreen target: the colour in the back buffer's format and a depth buffer of its own precision,
// so that the layer's fragments decide among themselves exactly as they would in place, and are drawn
// back with the very depths they would have left there. Pixels still at the cleared depth, 1, were not
// drawn (the layer's boxes keep clear of the far plane).
bool Device::PrepareLayerTarget() {
    if (layersUnsupported) return false;
    if (layerFramebuffer && layerWidth == backBufferWidth && layerHeight == backBufferHeight) return true;
    ReleaseLayerTarget();
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    GLint red = 0, green = 0, blue = 0, depthBits = 0, depthType = 0, stencilKind = GL_NONE, samples = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE,
                                          &red);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_GREEN_SIZE,
                                          &green);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_BLUE_SIZE,
                                          &blue);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                                          &depthBits);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_COMPONENT_TYPE,
                                          &depthType);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE,
                                          &stencilKind);
    glGetIntegerv(GL_SAMPLES, &samples);
    GLenum depthFormat = 0;
    if (depthType == GL_UNSIGNED_NORMALIZED && depthBits == 24)
        depthFormat = stencilKind != GL_NONE ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT24;
    else if (depthType == GL_UNSIGNED_NORMALIZED && depthBits == 16 && stencilKind == GL_NONE)
        depthFormat = GL_DEPTH_COMPONENT16;
    else if (depthType == GL_UNSIGNED_NORMALIZED && depthBits == 32 && stencilKind == GL_NONE)
        depthFormat = GL_DEPTH_COMPONENT32;  // what the software rasteriser gives an X window
    else if (depthType == GL_FLOAT && depthBits == 32)
        depthFormat = stencilKind != GL_NONE ? GL_DEPTH32F_STENCIL8 : GL_DEPTH_COMPONENT32F;
    if (glGetError() != GL_NO_ERROR || red != 8 || green != 8 || blue != 8 || samples != 0 || !depthFormat) {
        layersUnsupported = true;
        return false;
    }
    if (!layerProgram) {
        std::string error;
        layerProgram = BuildProgram("", LayerVertexShaderSource, LayerFragmentShaderSource, error);
        if (!layerProgram) {
            layersUnsupported = true;
            return false;
        }
        glUseProgram(layerProgram);
        glUniform1i(glGetUniformLocation(layerProgram, "uLayerColour"), 0);
        glUniform1i(glGetUniformLocation(layerProgram, "uLayerDepth"), 1);
        layerRectLocation = glGetUniformLocation(layerProgram, "uRect");
        program = nullptr;
    }
    auto plane = [this](GLenum format, GLenum components, GLenum type) {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), backBufferWidth, backBufferHeight, 0, components, type,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        return name;
    };
    layerColour = plane(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE);
    const bool withStencil = stencilKind != GL_NONE;
    const bool floating = depthType == GL_FLOAT;
    const GLenum depthData = withStencil
                                 ? (floating ? GL_FLOAT_32_UNSIGNED_INT_24_8_REV : GL_UNSIGNED_INT_24_8)
                                 : (floating ? GL_FLOAT : GL_UNSIGNED_INT);
    layerDepth = plane(depthFormat, withStencil ? GL_DEPTH_STENCIL : GL_DEPTH_COMPONENT, depthData);
    gl.texture = ~0u;
    glGenFramebuffers(1, &layerFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, layerFramebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, layerColour, 0);
    const GLenum attachment = withStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
    glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, GL_TEXTURE_2D, layerDepth, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete || glGetError() != GL_NO_ERROR) {
        ReleaseLayerTarget();
        layersUnsupported = true;
        return false;
    }
    layerWidth = backBufferWidth;
    layerHeight = backBufferHeight;
    kept.valid = false;
    return true;
}

void Device::ReleaseLayerTarget() {
    if (layerFramebuffer) glDeleteFramebuffers(1, &layerFramebuffer);
    GLuint textures[] = {layerColour, layerDepth};
    glDeleteTextures(2, textures);
    if (gl.texture == layerColour || gl.texture == layerDepth) gl.texture = ~0u;
    layerFramebuffer = layerColour = layerDepth = 0;
    layerWidth = layerHeight = 0;
    kept.valid = false;
}

void Device::PaintLayer() {
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindFramebuffer(GL_FRAMEBUFFER, layerFramebuffer);
    if (gl.depthMask != 1) {
        glDepthMask(GL_TRUE);
        gl.depthMask = 1;
    }
    const GLfloat noColour[4] = {0, 0, 0, 0};
    glClearBufferfv(GL_COLOR, 0, noColour);
    const GLfloat farthest = 1.0f;
    glClearBufferfv(GL_DEPTH, 0, &farthest);
    for (const LayerDraw& draw : layerDraws) DrawRecorded(draw);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (glGetError() != GL_NO_ERROR) {
        // The driver cannot draw into this target: layers are drawn in place from now on.
        ReleaseLayerTarget();
        layersUnsupported = true;
    }
}

void Device::DrawKeptLayer() {
    glUseProgram(layerProgram);
    program = nullptr;
    glUniform4fv(layerRectLocation, 1, kept.rect.data());
    if (gl.depthTest != 1) {
        glEnable(GL_DEPTH_TEST);
        gl.depthTest = 1;
    }
    const GLenum depthFunc = GlCompare(kept.depthFunc);
    if (gl.depthFunc != depthFunc) glDepthFunc(gl.depthFunc = depthFunc);
    if (gl.depthMask != 1) {
        glDepthMask(GL_TRUE);
        gl.depthMask = 1;
    }
    if (gl.blend != 0) {
        glDisable(GL_BLEND);
        gl.blend = 0;
    }
    if (gl.cull != 0) {
        glDisable(GL_CULL_FACE);
        gl.cull = 0;
    }
    BindVertexArray(screenArray);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, layerDepth);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, layerColour);
    gl.texture = layerColour;
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    ++statistics.drawCalls;
}

}  // namespace

std::unique_ptr<GlDevice> GlDevice::Create(int backBufferWidth, int backBufferHeight, std::string& error) {
    auto device = std::make_unique<Device>();
    if (!device->Initialise(backBufferWidth, backBufferHeight, error)) return nullptr;
    return device;
}
