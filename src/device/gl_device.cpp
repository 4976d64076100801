// The device itself: creation, render and texture-stage states, transforms, lights and materials, the
// program and GL state each draw needs, and the immediate, instanced and read-back operations.
#include <algorithm>
#include <cmath>

#include "device/gl_device_local.h"

namespace gldevice {

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
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    software = IsSoftwareRendererName(renderer ? renderer : "");
    GLint windowDepthKind = GL_NONE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE,
                                          &windowDepthKind);
    windowDepth = windowDepthKind != GL_NONE;
    // A software renderer's cost grows with the pixels: past this size the scene is scaled up instead.
    sceneLimit = software ? SoftwareSceneLimit : PixelExtent{};
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
    ReleaseSceneTarget();
    ReleasePictureTarget();
    if (sceneCopyProgram) glDeleteProgram(sceneCopyProgram);
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

HResult Device::BeginScene() {
    if (inScene) return E_FAIL;
    inScene = true;
    // A hardware renderer's cleared rectangles cost next to nothing: there every frame clears the bars,
    // whatever the swap left in the back buffer.
    if (barsToClear > 0 || !software) {
        ClearBars();
        barsToClear = std::max(barsToClear - 1, 0);
    }
    // The frame's first scene draws make the whole picture (they draw the background).
    sceneDrawn = false;
    sceneOverlay = false;
    return S_OK;
}

HResult Device::EndScene() {
    if (!inScene) return E_FAIL;
    inScene = false;
    if (recordingLayer) DrawRecordedToBackBuffer();
    DrawFlatDraws();
    if (sceneDrawn) CopySceneToPicture();
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
    DrawFlatDraws();
    const bool apart = SceneApart() && PrepareSceneTarget();
    // The back buffer is cleared whole, bars included: a clear limited to the picture's rectangle is
    // drawn pixel by pixel on a software renderer, some ten times slower than a whole one. The depth
    // outside the picture is never read, and bars that took another colour than black are blackened.
    const GLbitfield backBufferMask = apart ? mask & GL_COLOR_BUFFER_BIT : mask;
    if (backBufferMask) {
        UseTarget(Target::BackBuffer);
        glDisable(GL_SCISSOR_TEST);
        boundTarget = Target::None;
        glClear(backBufferMask);
    }
    if (apart) {
        // The picture and the scene's target both take the colour, so either may be shown next.
        if (flags & ClearTarget) {
            sceneOverlay = false;
            sceneUncleared = WholeView;
        }
        UseTarget(Target::Scene);
        glClear(mask);
        sceneDrawn = false;
    }
    if ((flags & ClearTarget) && (colour & 0xFFFFFFu) != 0) ClearBars();
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
    viewport = Viewport{0, 0, picture.width, picture.height, 0.0f, 1.0f};
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
    // Alpha builds the coverage by which the scene's own target is laid over the 2D layer: "over" for
    // the usual blend, full for a replacing one, and unchanged for blends that only add light (there
    // the copy adds them too).
    const GLenum sourceAlpha =
        destination == GL_ONE_MINUS_SRC_ALPHA || destination == GL_ZERO ? GL_ONE : GL_ZERO;
    const GLenum destinationAlpha = destination == GL_ONE_MINUS_SRC_ALPHA ? GL_ONE_MINUS_SRC_ALPHA
                                    : destination == GL_ZERO              ? GL_ZERO
                                                                          : GL_ONE;
    if (gl.blendSource != source || gl.blendDestination != destination ||
        gl.blendSourceAlpha != sourceAlpha || gl.blendDestinationAlpha != destinationAlpha) {
        glBlendFuncSeparate(source, destination, sourceAlpha, destinationAlpha);
        gl.blendSource = source;
        gl.blendDestination = destination;
        gl.blendSourceAlpha = sourceAlpha;
        gl.blendDestinationAlpha = destinationAlpha;
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
        if (uploaded.viewportWidth != float(picture.width) ||
            uploaded.viewportHeight != float(picture.height)) {
            uploaded.viewportWidth = float(picture.width);
            uploaded.viewportHeight = float(picture.height);
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
    // Bit for bit, as the kept layer compares (SameBytes): a value that changed in any way is uploaded.
    if (!uploaded.materialValid || !SameBytes(uploaded.material, material)) {
        setColour(uniforms.materialDiffuse, material.diffuse);
        setColour(uniforms.materialAmbient, material.ambient);
        setColour(uniforms.materialSpecular, material.specular);
        setColour(uniforms.materialEmissive, material.emissive);
        glUniform1f(uniforms.materialPower, material.power);
        uploaded.material = material;
        uploaded.materialValid = true;
    }
    if (variant.lightEnabled && (!uploaded.lightValid || !SameBytes(uploaded.light, light) ||
                                 !SameBytes(uploaded.toLight, toLight))) {
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
    PrepareSceneDraw(SceneApart() ? MeshExtent(BoxOf(vertices), {}) : WholeView);
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
    // Pre-transformed draws that test depth belong to the scene; the others are the 2D layer.
    if (renderStates[int(RenderState::ZEnable)] != 0) {
        PrepareSceneDraw(SceneApart() ? ScreenExtent(vertices) : WholeView);
    } else {
        // Held back for now; the program is built at once so that a failure is reported here.
        if (HoldFlatDraw(vertices, indices.first(size_t(count))))
            return UseProgram(CurrentVariant(LayoutScreen)) ? S_OK : E_FAIL;
        PrepareFlatDraw();
    }
    return DrawScreenGeometry(vertices, indices.first(size_t(count))) ? S_OK : E_FAIL;
}

bool Device::DrawScreenGeometry(std::span<const ScreenVertex> vertices, std::span<const uint16_t> indices) {
    const size_t vertexOffset =
        screenVertices.Write(vertices.data(), vertices.size_bytes(), sizeof(ScreenVertex));
    const size_t indexOffset = indexStream.Write(indices.data(), indices.size_bytes(), 4);
    BindVertexArray(screenArray);
    if (!ApplyState(LayoutScreen)) return false;
    glDrawElementsBaseVertex(GL_TRIANGLES, GLsizei(indices.size()), GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(indexOffset),
                             GLint(vertexOffset / sizeof(ScreenVertex)));
    ++statistics.drawCalls;
    return true;
}

void Device::PrepareInstances(std::span<const Matrix> worlds) {
    const size_t offset = instanceStream.Write(worlds.data(), worlds.size_bytes(), sizeof(Matrix));
    glBindBuffer(GL_ARRAY_BUFFER, instanceStream.Name());
    for (GLuint row = 0; row < 4; ++row) {
        glEnableVertexAttribArray(AttrWorld + row);
        glVertexAttribPointer(AttrWorld + row, 4, GL_FLOAT, GL_FALSE, sizeof(Matrix),
                              reinterpret_cast<const void*>(offset + size_t{row} * 4 * sizeof(float)));
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
    PrepareSceneDraw(SceneApart() ? MeshExtent(BoxOf(vertices), worlds) : WholeView);
    const size_t vertexOffset =
        meshVertices.Write(vertices.data(), vertices.size_bytes(), sizeof(MeshVertex));
    const size_t indexOffset = indexStream.Write(indices.data(), size_t(count) * sizeof(uint32_t), 4);
    return DrawMeshGeometry(meshArray, count, reinterpret_cast<const void*>(indexOffset),
                            GLint(vertexOffset / sizeof(MeshVertex)), worlds);
}

bool Device::ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height) {
    ShowPicture();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    boundTarget = Target::None;
    width = drawableWidth;
    height = drawableHeight;
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

}  // namespace gldevice

std::unique_ptr<GlDevice> GlDevice::Create(int backBufferWidth, int backBufferHeight, std::string& error) {
    auto device = std::make_unique<gldevice::Device>();
    if (!device->Initialise(backBufferWidth, backBufferHeight, error)) return nullptr;
    return device;
}
