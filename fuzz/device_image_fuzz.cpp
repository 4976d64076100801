// Any bytes handed to the picture decoder either give a picture of an accepted size with exactly
// width x height x 4 bytes, or a refusal with a reason.
#include <cstdlib>

#include "device/image_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Image image;
    std::string error;
    if (DecodeImage(std::span<const uint8_t>(data, size), image, error)) {
        if (image.width <= 0 || image.height <= 0 || image.width > MaxImageSide ||
            image.height > MaxImageSide ||
            image.rgba.size() != size_t(image.width) * size_t(image.height) * 4)
            std::abort();
    } else if (error.empty() || !image.rgba.empty()) {
        std::abort();
    }
    return 0;
}
