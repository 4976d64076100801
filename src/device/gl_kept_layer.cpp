// What the device keeps between frames: static mesh geometry copied to the GPU while its owner lives,
// and the layer of opaque mesh draws painted into an offscreen target and copied back while its draws
// stay the same. A layer that only gains draws (a piece comes to rest in the well) has them painted
// over the kept picture instead of being painted afresh.
#include <algorithm>

#include "device/gl_device_local.h"

namespace gldevice {

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
        // Instances carry their own worlds: the world transform of the moment draws nothing, and two
        // such draws are the same whatever it was.
        if (!worlds.empty()) layerDraws.back().inputs.world = MatrixIdentity();
        return S_OK;
    }
    PrepareSceneDraw(SceneApart() ? MeshExtent({cached.lowest, cached.highest}, worlds) : WholeView);
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
    NdcRect extent;
    if (!layerDraws.empty()) PrepareSceneDraw(LayerExtent(layerDraws, extent) ? extent : WholeView);
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
    std::vector<LayerDraw> added;
    NdcRect addedRect;
    if (kept.valid && kept.draws == layerDraws) {
        ++statistics.layerReuses;
    } else if (kept.valid && kept.depthFunc == depthFunc && AddedDraws(kept.draws, layerDraws, added) &&
               LayerExtent(added, addedRect)) {
        // Opaque draws decided by their depths: painting the new ones over the kept picture and depths
        // leaves what painting them all afresh leaves.
        PaintLayer(added, false);
        if (layersUnsupported) {
            DrawRecordedToBackBuffer();
            return;
        }
        kept.rect = Union(kept.rect, addedRect);
        kept.draws = std::move(layerDraws);
        ++statistics.layerAdditions;
    } else {
        kept.valid = false;
        if (!LayerExtent(layerDraws, kept.rect)) {
            DrawRecordedToBackBuffer();
            return;
        }
        PaintLayer(layerDraws, true);
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

// Whether `now` holds every draw of `before` with at least its instances, under the same inputs and in
// the same order; `added` gets what `now` has beyond that.
bool Device::AddedDraws(const std::vector<LayerDraw>& before, const std::vector<LayerDraw>& now,
                        std::vector<LayerDraw>& added) const {
    added.clear();
    // An order of the bytes, as SameBytes compares them: only used to match instance lists.
    auto lessBytes = [](const Matrix& a, const Matrix& b) {
        return std::memcmp(&a, &b, sizeof(Matrix)) < 0;  // NOLINT(bugprone-suspicious-memory-comparison)
    };
    size_t matched = 0;
    for (const LayerDraw& draw : now) {
        const bool same = matched < before.size() && before[matched].part == draw.part &&
                          before[matched].inputs == draw.inputs &&
                          before[matched].worlds.empty() == draw.worlds.empty();
        if (!same) {
            added.push_back(draw);
            continue;
        }
        const std::vector<Matrix>& old = before[matched++].worlds;
        if (old.size() > draw.worlds.size()) return false;
        // Usually the old instances lead and the new ones follow.
        if (std::memcmp(old.data(), draw.worlds.data(), old.size() * sizeof(Matrix)) == 0) {
            if (draw.worlds.size() > old.size())
                added.push_back({draw.inputs, draw.part,
                                 std::vector<Matrix>(draw.worlds.begin() + std::ptrdiff_t(old.size()),
                                                     draw.worlds.end())});
            continue;
        }
        std::vector<Matrix> had = old, has = draw.worlds, extra;
        std::sort(had.begin(), had.end(), lessBytes);
        std::sort(has.begin(), has.end(), lessBytes);
        std::set_difference(has.begin(), has.end(), had.begin(), had.end(), std::back_inserter(extra),
                            lessBytes);
        if (has.size() - extra.size() != had.size()) return false;  // an old instance has gone
        added.push_back({draw.inputs, draw.part, std::move(extra)});
    }
    return matched == before.size();
}

// The screen rectangle holding these draws, from the boxes around the meshes; false when some box
// reaches behind the eye, or so near the far plane that a pixel drawn there could not be told from one
// left at the cleared depth.
bool Device::LayerExtent(std::span<const LayerDraw> draws, NdcRect& rect) const {
    NdcRect all{1, 1, -1, -1};
    for (const LayerDraw& draw : draws) {
        auto found = cache.find(draw.part);
        if (found == cache.end() || !found->second.valid) continue;
        const CachedPart& part = found->second;
        NdcRect box;
        float farthest = 0;
        if (!BoxExtent(part.lowest, part.highest, draw.worlds, draw.inputs.world,
                       draw.inputs.view * draw.inputs.projection, box, farthest) ||
            !(farthest < 0.9999f))
            return false;
        all = Union(all, box);
    }
    // Two pixels more on each side, for the rasteriser's rounding; never beyond the view.
    const float marginX = 4.0f / float(scene.width), marginY = 4.0f / float(scene.height);
    rect = {std::max(all[0] - marginX, -1.0f), std::max(all[1] - marginY, -1.0f),
            std::min(all[2] + marginX, 1.0f), std::min(all[3] + marginY, 1.0f)};
    return true;
}

namespace {
// The back buffer's depth format, for a layer target whose depths compare exactly with it; false when it
// is one the layer cannot copy (or the colour is not 8 bits a channel, or multisampled).
bool BackBufferDepthFormat(GLenum& depthFormat, GLint& depthType, GLint& stencilKind) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    GLint red = 0, green = 0, blue = 0, depthBits = 0, samples = 0;
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
    depthFormat = 0;
    if (depthType == GL_UNSIGNED_NORMALIZED && depthBits == 24)
        depthFormat = stencilKind != GL_NONE ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT24;
    else if (depthType == GL_UNSIGNED_NORMALIZED && depthBits == 16 && stencilKind == GL_NONE)
        depthFormat = GL_DEPTH_COMPONENT16;
    else if (depthType == GL_UNSIGNED_NORMALIZED && depthBits == 32 && stencilKind == GL_NONE)
        depthFormat = GL_DEPTH_COMPONENT32;  // what the software rasteriser gives an X window
    else if (depthType == GL_FLOAT && depthBits == 32)
        depthFormat = stencilKind != GL_NONE ? GL_DEPTH32F_STENCIL8 : GL_DEPTH_COMPONENT32F;
    return glGetError() == GL_NO_ERROR && red == 8 && green == 8 && blue == 8 && samples == 0 && depthFormat;
}
}  // namespace

// The offscreen target: the colour in the scene target's format and a depth buffer of its precision, so
// that the layer's fragments decide among themselves exactly as they would in place, and are drawn back
// with the very depths they would have left there. Pixels still at the cleared depth, 1, were not drawn
// (the layer's boxes keep clear of the far plane).
bool Device::PrepareLayerTarget() {
    if (layersUnsupported) return false;
    if (layerFramebuffer && layerWidth == scene.width && layerHeight == scene.height) return true;
    ReleaseLayerTarget();
    if (SceneApart() && !PrepareSceneTarget()) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    GLenum depthFormat = 0;
    GLint stencilKind = GL_NONE, depthType = GL_UNSIGNED_NORMALIZED;
    if (SceneApart() || PictureInOwnTarget()) {
        depthFormat = GL_DEPTH_COMPONENT24;  // the scene's or picture's target's own (gl_scene_target.cpp)
    } else if (!BackBufferDepthFormat(depthFormat, depthType, stencilKind)) {
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
        layerOriginLocation = glGetUniformLocation(layerProgram, "uOrigin");
        program = nullptr;
    }
    auto plane = [this](GLenum format, GLenum components, GLenum type) {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), scene.width, scene.height, 0, components, type,
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
    boundTarget = Target::None;
    if (!complete || glGetError() != GL_NO_ERROR) {
        ReleaseLayerTarget();
        layersUnsupported = true;
        return false;
    }
    layerWidth = scene.width;
    layerHeight = scene.height;
    kept.valid = false;
    return true;
}

void Device::ReleaseLayerTarget() {
    if (layerFramebuffer) glDeleteFramebuffers(1, &layerFramebuffer);
    GLuint textures[] = {layerColour, layerDepth};
    glDeleteTextures(2, textures);
    if (gl.texture == layerColour || gl.texture == layerDepth) gl.texture = ~0u;
    if (boundTarget == Target::Layer) boundTarget = Target::None;
    layerFramebuffer = layerColour = layerDepth = 0;
    layerWidth = layerHeight = 0;
    kept.valid = false;
}

// afresh: on a cleared target; otherwise over what it holds.
void Device::PaintLayer(std::span<const LayerDraw> draws, bool afresh) {
    while (glGetError() != GL_NO_ERROR) {
    }
    UseTarget(Target::Layer);
    if (afresh) {
        if (gl.depthMask != 1) {
            glDepthMask(GL_TRUE);
            gl.depthMask = 1;
        }
        const GLfloat noColour[4] = {0, 0, 0, 0};
        glClearBufferfv(GL_COLOR, 0, noColour);
        const GLfloat farthest = 1.0f;
        glClearBufferfv(GL_DEPTH, 0, &farthest);
    }
    for (const LayerDraw& draw : draws) DrawRecorded(draw);
    UseTarget(SceneTarget());
    if (glGetError() != GL_NO_ERROR) {
        // The driver cannot draw into this target: layers are drawn in place from now on.
        ReleaseLayerTarget();
        layersUnsupported = true;
    }
}

void Device::DrawKeptLayer() {
    PrepareSceneDraw(kept.rect);
    glUseProgram(layerProgram);
    program = nullptr;
    glUniform4fv(layerRectLocation, 1, kept.rect.data());
    // The layer's pixel (0, 0) is the first pixel of the target it is drawn into.
    if (boundTarget == Target::BackBuffer && !pictureFramebuffer)
        glUniform2i(layerOriginLocation, picture.x, drawableHeight - picture.y - picture.height);
    else
        glUniform2i(layerOriginLocation, 0, 0);
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

}  // namespace gldevice
