#include "platform/image_loader.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include <stb_image.h>

bool ReadWholeFile(const std::string& nativePath, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(nativePath.c_str(), "rb"), &std::fclose);
    if (!file) {
        error = "cannot open " + nativePath;
        return false;
    }
    // Read in chunks rather than trusting a size query: special files and growing files stay bounded.
    uint8_t chunk[1 << 16];
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        if (got > 0) {
            if (bytes.size() + got > maxBytes) {
                bytes.clear();
                error = nativePath + " is too large";
                return false;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get())) {
        bytes.clear();
        error = "cannot read " + nativePath;
        return false;
    }
    return true;
}

bool DecodeImage(std::span<const uint8_t> bytes, Image& image, std::string& error) {
    image = Image{};
    if (bytes.empty()) {
        error = "empty file";
        return false;
    }
    if (bytes.size() > size_t(std::numeric_limits<int>::max())) {
        error = "file too large";
        return false;
    }
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    const int length = static_cast<int>(bytes.size());
    // Check the header's size before decoding, so a file that claims a huge picture costs nothing.
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels)) {
        const char* reason = stbi_failure_reason();
        error = std::string("not a readable picture: ") + (reason ? reason : "unknown format");
        return false;
    }
    if (width <= 0 || height <= 0 || width > MaxImageSide || height > MaxImageSide) {
        error = "picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large";
        return false;
    }
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(stbi_load_from_memory(data, length, &width, &height, &channels, 4),
                                                    &stbi_image_free);
    if (!pixels) {
        const char* reason = stbi_failure_reason();
        error = std::string("picture does not decode: ") + (reason ? reason : "unknown reason");
        return false;
    }
    if (width <= 0 || height <= 0 || width > MaxImageSide || height > MaxImageSide) {
        error = "picture size changed while decoding";
        return false;
    }
    image.width = width;
    image.height = height;
    image.rgba.assign(pixels.get(), pixels.get() + size_t(width) * size_t(height) * 4);
    return true;
}

bool LoadImageFile(const std::string& nativePath, Image& image, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(nativePath, MaxImageFileBytes, bytes, error)) return false;
    if (!DecodeImage(bytes, image, error)) {
        error = nativePath + ": " + error;
        return false;
    }
    return true;
}
