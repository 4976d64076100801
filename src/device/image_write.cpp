#include "device/image_write.h"

#include <stb_image_write.h>

bool WritePng(const std::string& nativePath, int width, int height, std::span<const uint8_t> rgba) {
    if (width <= 0 || height <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4) return false;
    return stbi_write_png(nativePath.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}
