// Textures: creation from files and pixels, binding with their sampler state, and forgetting a
// texture that goes away while the device still points at it.
#include "device/gl_device_local.h"
#include "device/image_loader.h"

namespace gldevice {

GlTexture::~GlTexture() {
    if (owner->device) owner->device->ForgetTexture(this);
}

HResult Device::SetTexture(int stage, Texture* texture) {
    if (stage != 0) return E_FAIL;
    auto* glTexture = dynamic_cast<GlTexture*>(texture);
    if (texture && (!glTexture || glTexture->owner.get() != shared.get())) return E_FAIL;
    boundTexture = glTexture;
    return S_OK;
}

void Device::ForgetTexture(GlTexture* texture) {
    // 2D draws held back with this texture land on the picture while it is still there.
    for (const FlatDraw& flat : flatDraws)
        if (flat.inputs.texture == texture) {
            DrawFlatDraws();
            break;
        }
    if (boundTexture == texture) boundTexture = nullptr;
    for (LayerDraw& draw : layerDraws)
        if (draw.inputs.texture == texture) draw.inputs.texture = nullptr;
    if (gl.texture == texture->name) gl.texture = ~0u;
    glDeleteTextures(1, &texture->name);
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

std::unique_ptr<Texture> Device::CreateTextureFromFile(const std::string& nativePath) {
    std::unique_ptr<Texture> texture;
    bool decoded = false;
    std::string warning;
    textureLoadProblem.clear();
    UseImageFile(
        nativePath,
        [&](int width, int height, std::span<const uint8_t> rgba) {
            decoded = true;
            texture = CreateTextureFromPixels(width, height, rgba);
            return texture != nullptr;
        },
        textureLoadProblem, &warning);
    if (decoded && !texture)
        textureLoadProblem = nativePath + ": the device refused a picture of this size";
    else if (texture && !warning.empty())
        textureLoadProblem = nativePath + ": " + warning;
    return texture;
}

bool Device::CheckTextureFile(const std::string& nativePath) {
    std::string warning;
    textureLoadProblem.clear();
    const bool fits = UseImageFile(
        nativePath, [](int, int, std::span<const uint8_t>) { return true; }, textureLoadProblem, &warning);
    if (fits && !warning.empty()) textureLoadProblem = nativePath + ": " + warning;
    return fits;
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

}  // namespace gldevice
