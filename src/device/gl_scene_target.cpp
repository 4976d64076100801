// Where draws go. The game's picture lies in the back buffer through its own viewport, with dark bars
// beside it when the window has another shape. When the picture has more pixels than the 3D scene may
// cost (a software renderer at a large window), the scene's draws go to a target of their own at a
// smaller size, and its picture is scaled up into the back buffer with linear filtering whenever a 2D
// draw comes (and at the end of the frame), so that the 2D layer is drawn at the picture's own size over
// it. The first copy after a clear or the start of a frame replaces the picture (the scene drew the
// background); the scene's later draws are made over a transparent target and laid over the 2D layer
// beneath them by their alpha, as an alpha-blended picture composes. Only the part where they fell is
// copied.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "device/gl_device_local.h"

namespace gldevice {

namespace {
// Nothing: left beyond right.
constexpr NdcRect EmptyRect{1, 1, -1, -1};

bool IsEmpty(const NdcRect& rect) {
    return !(rect[0] < rect[2] && rect[1] < rect[3]);
}

bool Overlap(const NdcRect& a, const NdcRect& b) {
    return !IsEmpty(a) && !IsEmpty(b) && a[0] < b[2] && b[0] < a[2] && a[1] < b[3] && b[1] < a[3];
}
}  // namespace

NdcRect Union(const NdcRect& a, const NdcRect& b) {
    if (IsEmpty(a)) return b;
    if (IsEmpty(b)) return a;
    return {std::min(a[0], b[0]), std::min(a[1], b[1]), std::max(a[2], b[2]), std::max(a[3], b[3])};
}

bool BoxExtent(const Vector3& lowest, const Vector3& highest, std::span<const Matrix> worlds,
               const Matrix& world, const Matrix& viewProjection, NdcRect& rect, float& farthest) {
    float left = 1, bottom = 1, right = -1, top = -1;
    farthest = 0;
    const std::span<const Matrix> instances = worlds.empty() ? std::span<const Matrix>(&world, 1) : worlds;
    for (const Matrix& instance : instances) {
        const Matrix toClip = instance * viewProjection;
        for (int corner = 0; corner < 8; ++corner) {
            const float p[4] = {corner & 1 ? highest.x : lowest.x, corner & 2 ? highest.y : lowest.y,
                                corner & 4 ? highest.z : lowest.z, 1};
            float clip[4];
            for (int j = 0; j < 4; ++j)
                clip[j] = p[0] * toClip.m[0][j] + p[1] * toClip.m[1][j] + p[2] * toClip.m[2][j] +
                          p[3] * toClip.m[3][j];
            if (!(clip[3] > 1e-6f)) return false;
            const float x = clip[0] / clip[3], y = clip[1] / clip[3], depth = clip[2] / clip[3];
            if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(depth)) return false;
            left = std::min(left, x);
            right = std::max(right, x);
            bottom = std::min(bottom, y);
            top = std::max(top, y);
            farthest = std::max(farthest, depth);
        }
    }
    rect = {left, bottom, right, top};
    return true;
}

void Device::SetBackBufferSize(int width, int height) {
    SetPicture(width, height, PixelRect{0, 0, width, height});
}

void Device::SetPicture(int width, int height, const PixelRect& newPicture) {
    drawableWidth = std::max(width, 1);
    drawableHeight = std::max(height, 1);
    picture.width = std::clamp(newPicture.width, 1, drawableWidth);
    picture.height = std::clamp(newPicture.height, 1, drawableHeight);
    picture.x = std::clamp(newPicture.x, 0, drawableWidth - picture.width);
    picture.y = std::clamp(newPicture.y, 0, drawableHeight - picture.height);
    SetSceneLimit(sceneLimit);
}

void Device::SetSceneLimit(PixelExtent limit) {
    sceneLimit = limit;
    const PixelExtent wanted = sceneTargetFailed ? PixelExtent{picture.width, picture.height}
                                                 : ::SceneSize({picture.width, picture.height}, limit);
    if (wanted != scene) {
        ReleaseSceneTarget();
        ReleaseLayerTarget();
        ReleasePictureTarget();
    }
    scene = wanted;
    kept.valid = false;
    sceneDrawn = false;
    sceneOverlay = false;
    boundTarget = Target::None;
    barsToClear = BarClearFrames;
}

void Device::UseTarget(Target target) {
    if (boundTarget == target) return;
    boundTarget = target;
    if (target == Target::BackBuffer && PictureInOwnTarget()) {
        glBindFramebuffer(GL_FRAMEBUFFER, pictureFramebuffer);
        glViewport(0, 0, picture.width, picture.height);
        glDisable(GL_SCISSOR_TEST);
        return;
    }
    if (target == Target::BackBuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        const int bottom = drawableHeight - picture.y - picture.height;
        glViewport(picture.x, bottom, picture.width, picture.height);
        // Nothing the game draws may reach the bars.
        if (picture.width == drawableWidth && picture.height == drawableHeight) {
            glDisable(GL_SCISSOR_TEST);
        } else {
            glEnable(GL_SCISSOR_TEST);
            glScissor(picture.x, bottom, picture.width, picture.height);
        }
        return;
    }
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_FRAMEBUFFER, target == Target::Scene ? sceneFramebuffer : layerFramebuffer);
    glViewport(0, 0, scene.width, scene.height);
}

// The bars beside the picture are dark, whatever the window showed there before. Nothing else draws
// there (draws keep to the picture's scissor), so once every buffer the window swaps through has been
// cleared they stay dark.
void Device::ClearBars() {
    if (picture.width == drawableWidth && picture.height == drawableHeight) return;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    boundTarget = Target::None;
    glEnable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    const int bottom = drawableHeight - picture.y - picture.height;
    const int bars[4][4] = {
        {0, 0, picture.x, drawableHeight},
        {picture.x + picture.width, 0, drawableWidth - picture.x - picture.width, drawableHeight},
        {0, 0, drawableWidth, bottom},
        {0, bottom + picture.height, drawableWidth, picture.y}};
    for (const auto& bar : bars) {
        if (bar[2] <= 0 || bar[3] <= 0) continue;
        glScissor(bar[0], bar[1], bar[2], bar[3]);
        glClear(GL_COLOR_BUFFER_BIT);
    }
}

bool Device::SceneTargetInUse() {
    return SceneApart() && PrepareSceneTarget();
}

NdcRect Device::MeshExtent(const std::array<Vector3, 2>& box, std::span<const Matrix> worlds) const {
    NdcRect rect;
    float farthest = 0;
    return BoxExtent(box[0], box[1], worlds, world, viewProjection, rect, farthest) ? rect : WholeView;
}

NdcRect Device::ScreenExtent(std::span<const ScreenVertex> vertices) const {
    NdcRect rect = EmptyRect;
    for (const ScreenVertex& vertex : vertices) {
        const float x = (vertex.x + 0.5f) / float(picture.width) * 2 - 1;
        const float y = 1 - (vertex.y + 0.5f) / float(picture.height) * 2;
        if (!std::isfinite(x) || !std::isfinite(y)) return WholeView;
        rect = Union(rect, NdcRect{x, y, x + 1e-6f, y + 1e-6f});
    }
    return rect;
}

// Before a 3D draw that falls within `extent`.
void Device::PrepareSceneDraw(const NdcRect& extent) {
    if (!SceneTargetInUse()) {
        UseTarget(Target::BackBuffer);
        return;
    }
    // Three pixels more on each side: the rasteriser's rounding and the reach of the linear filter.
    const float marginX = 6.0f / float(scene.width), marginY = 6.0f / float(scene.height);
    const NdcRect grown =
        IsEmpty(extent) ? extent
                        : NdcRect{std::max(extent[0] - marginX, -1.0f), std::max(extent[1] - marginY, -1.0f),
                                  std::min(extent[2] + marginX, 1.0f), std::min(extent[3] + marginY, 1.0f)};
    // A 2D draw held back that this draw would cover must reach the picture first.
    for (const FlatDraw& flat : flatDraws)
        if (Overlap(flat.rect, grown)) {
            DrawFlatDraws();
            break;
        }
    UseTarget(Target::Scene);
    if (sceneOverlay && !sceneDrawn) {
        // The back buffer shows what the target held; the draws that come now start on a clear one
        // (cleared whole: a cleared rectangle costs far more on a software renderer).
        if (!IsEmpty(sceneUncleared)) {
            const GLfloat transparent[4] = {0, 0, 0, 0};
            glClearBufferfv(GL_COLOR, 0, transparent);
        }
        sceneUncleared = EmptyRect;
        sceneExtent = EmptyRect;
    }
    sceneDrawn = true;
    if (sceneOverlay) sceneExtent = Union(sceneExtent, grown);
}

// Before a 2D draw drawn at once.
void Device::PrepareFlatDraw() {
    if (sceneDrawn) CopySceneToPicture();
    sceneOverlay = true;
    UseTarget(Target::BackBuffer);
}

// While the scene is drawn in its own target, a 2D draw is held back and lands on the picture with the
// others once a later 3D draw would cover it, or at the end of the frame: drawing it after 3D draws it
// does not overlap gives the picture that drawing it in its turn gives, and the scene reaches the
// picture in fewer, larger copies.
bool Device::HoldFlatDraw(std::span<const ScreenVertex> vertices, std::span<const uint16_t> indices) {
    if (!inScene || !SceneTargetInUse()) return false;
    FlatDraw& flat = flatDraws.emplace_back();
    flat.inputs = CurrentInputs();
    flat.vertices.assign(vertices.begin(), vertices.end());
    flat.indices.assign(indices.begin(), indices.end());
    flat.rect = ScreenExtent(vertices);
    return true;
}

void Device::DrawFlatDraws() {
    if (flatDraws.empty()) return;
    const std::vector<FlatDraw> held = std::move(flatDraws);
    flatDraws.clear();
    const DrawInputs current = CurrentInputs();
    PrepareFlatDraw();
    for (const FlatDraw& flat : held) {
        RestoreInputs(flat.inputs);
        DrawScreenGeometry(flat.vertices, flat.indices);
    }
    RestoreInputs(current);
}

void Device::CopySceneToPicture() {
    sceneDrawn = false;
    const NdcRect rect = sceneOverlay
                             ? NdcRect{std::max(sceneExtent[0], -1.0f), std::max(sceneExtent[1], -1.0f),
                                       std::min(sceneExtent[2], 1.0f), std::min(sceneExtent[3], 1.0f)}
                             : WholeView;
    sceneUncleared = Union(sceneUncleared, rect);
    const bool overlay = sceneOverlay;
    sceneOverlay = true;
    if (IsEmpty(rect)) return;
    UseTarget(Target::BackBuffer);
    glUseProgram(sceneCopyProgram);
    program = nullptr;
    glUniform4fv(sceneCopyRectLocation, 1, rect.data());
    if (gl.depthTest != 0) {
        glDisable(GL_DEPTH_TEST);
        gl.depthTest = 0;
    }
    if (gl.cull != 0) {
        glDisable(GL_CULL_FACE);
        gl.cull = 0;
    }
    if (gl.blend != int(overlay)) {
        overlay ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        gl.blend = overlay;
    }
    if (overlay && (gl.blendSource != GL_ONE || gl.blendDestination != GL_ONE_MINUS_SRC_ALPHA ||
                    gl.blendSourceAlpha != GL_ONE || gl.blendDestinationAlpha != GL_ONE_MINUS_SRC_ALPHA)) {
        glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        gl.blendSource = gl.blendSourceAlpha = GL_ONE;
        gl.blendDestination = gl.blendDestinationAlpha = GL_ONE_MINUS_SRC_ALPHA;
    }
    BindVertexArray(screenArray);
    glBindTexture(GL_TEXTURE_2D, sceneColour);
    gl.texture = sceneColour;
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    ++statistics.drawCalls;
    ++statistics.sceneCopies;
}

bool Device::PrepareSceneTarget() {
    if (sceneFramebuffer) return true;
    if (sceneTargetFailed) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    if (!sceneCopyProgram) {
        std::string error;
        sceneCopyProgram =
            BuildProgram("", SceneCopyVertexShaderSource, SceneCopyFragmentShaderSource, error);
        if (sceneCopyProgram) {
            glUseProgram(sceneCopyProgram);
            program = nullptr;
            glUniform1i(glGetUniformLocation(sceneCopyProgram, "uScene"), 0);
            sceneCopyRectLocation = glGetUniformLocation(sceneCopyProgram, "uRect");
        }
    }
    const bool complete =
        sceneCopyProgram != 0 &&
        MakeColourAndDepthTarget(scene, GL_LINEAR, sceneFramebuffer, sceneColour, sceneDepth);
    if (!complete) {
        // The driver cannot draw into a target of this kind: the scene is drawn at the picture's size.
        ReleaseSceneTarget();
        sceneTargetFailed = true;
        SetSceneLimit(sceneLimit);
        return false;
    }
    sceneDrawn = false;
    sceneUncleared = WholeView;
    return true;
}

void Device::ReleaseSceneTarget() {
    if (sceneFramebuffer) glDeleteFramebuffers(1, &sceneFramebuffer);
    if (sceneDepth) glDeleteRenderbuffers(1, &sceneDepth);
    if (sceneColour) glDeleteTextures(1, &sceneColour);
    if (gl.texture == sceneColour) gl.texture = ~0u;
    sceneFramebuffer = sceneDepth = sceneColour = 0;
    if (boundTarget == Target::Scene) boundTarget = Target::None;
    sceneDrawn = false;
}

// A target of colour (a texture, read through `filter`) and depth, of this size; false when the driver
// cannot draw into it. The names are set either way, for their release.
bool Device::MakeColourAndDepthTarget(PixelExtent size, GLint filter, GLuint& framebuffer, GLuint& colour,
                                      GLuint& depth) {
    glGenTextures(1, &colour);
    glBindTexture(GL_TEXTURE_2D, colour);
    gl.texture = colour;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.width, size.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size.width, size.height);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    boundTarget = Target::None;
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    const bool complete =
        glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE && glGetError() == GL_NO_ERROR;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return complete;
}

// Whether draws to the picture go to its own target, made here when they first need it.
bool Device::PictureInOwnTarget() {
    if (windowDepth || SceneApart() || pictureTargetFailed) return false;
    if (pictureFramebuffer) return true;
    while (glGetError() != GL_NO_ERROR) {
    }
    const bool complete = MakeColourAndDepthTarget({picture.width, picture.height}, GL_NEAREST,
                                                   pictureFramebuffer, pictureColour, pictureDepth);
    if (!complete) {
        // The picture is drawn straight into the window, without depth: wrong, but never blank.
        std::fprintf(stderr, "kelvane: the picture's own target could not be made; drawn without depth\n");
        ReleasePictureTarget();
        pictureTargetFailed = true;
        return false;
    }
    return true;
}

void Device::ReleasePictureTarget() {
    if (pictureFramebuffer) glDeleteFramebuffers(1, &pictureFramebuffer);
    if (pictureColour) glDeleteTextures(1, &pictureColour);
    if (gl.texture == pictureColour) gl.texture = ~0u;
    if (pictureDepth) glDeleteRenderbuffers(1, &pictureDepth);
    pictureFramebuffer = pictureColour = pictureDepth = 0;
    if (boundTarget == Target::BackBuffer) boundTarget = Target::None;
}

void Device::ShowPicture() {
    if (recordingLayer) DrawRecordedToBackBuffer();
    DrawFlatDraws();
    if (sceneDrawn) CopySceneToPicture();
    if (!pictureFramebuffer || !PictureInOwnTarget()) return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, pictureFramebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    boundTarget = Target::None;
    glDisable(GL_SCISSOR_TEST);
    const int bottom = drawableHeight - picture.y - picture.height;
    glBlitFramebuffer(0, 0, picture.width, picture.height, picture.x, bottom, picture.x + picture.width,
                      bottom + picture.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

}  // namespace gldevice

bool IsSoftwareRendererName(const std::string& renderer) {
    for (const char* name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer", "SwiftShader"})
        if (renderer.find(name) != std::string::npos) return true;
    return false;
}
