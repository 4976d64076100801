#include "device/image_write.h"

#include <stb_image_write.h>

#include <cstdio>
#include <vector>

#include "base/paths.h"

namespace {
void AppendBytes(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    const auto* begin = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), begin, begin + size);
}
}  // namespace

bool WritePng(const std::string& nativePath, int width, int height, std::span<const uint8_t> rgba) {
    if (width <= 0 || height <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4) return false;
    std::vector<uint8_t> png;
    if (stbi_write_png_to_func(AppendBytes, &png, width, height, 4, rgba.data(), width * 4) == 0)
        return false;
    // Opened like every output of a run (a pipe without a reader is refused, not waited on) and judged
    // only once the buffer is flushed and the file closed: a full disk shows there.
    std::FILE* file = OpenOutputFile(nativePath);
    if (!file) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}
