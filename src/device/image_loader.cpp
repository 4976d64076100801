#include "device/image_loader.h"

#include <stb_image.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "base/paths.h"

bool ReadWholeFile(const std::string& nativePath, size_t maxBytes, std::vector<uint8_t>& bytes,
                   std::string& error) {
    bytes.clear();
    std::unique_ptr<FILE, int (*)(FILE*)> file(OpenRegularFile(nativePath), &std::fclose);
    if (!file) {
        error =
            "cannot open " + nativePath + ": " + (errno != 0 ? std::strerror(errno) : "not a regular file");
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
        error = "cannot read " + nativePath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

namespace {

// A PNG chunk states its own length, and the decoder reserves that much before looking for the data: a
// tiny file claiming a gigabyte chunk would cost a gigabyte. Every chunk must fit in the file.
bool PngChunksFit(std::span<const uint8_t> bytes) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < 8 || std::memcmp(bytes.data(), signature, 8) != 0) return true;  // not a PNG
    size_t at = 8;
    while (at + 8 <= bytes.size()) {
        const size_t length = size_t(bytes[at]) << 24 | size_t(bytes[at + 1]) << 16 |
                              size_t(bytes[at + 2]) << 8 | size_t(bytes[at + 3]);
        if (length > bytes.size() - at - 8) return false;
        if (std::memcmp(&bytes[at + 4], "IEND", 4) == 0) return true;
        at += 12 + length;  // length, type, data, check sum
    }
    return true;  // a file cut short is the decoder's to refuse
}

// The decoder reads the bytes through these, so that a file which ends before its picture does is
// noticed: the decoder then asks for more after the last byte, and would quietly paint the rest black.
struct PictureReader {
    std::span<const uint8_t> bytes;
    size_t at = 0;
    bool askedPastEnd = false;
};

int ReadPicture(void* user, char* destination, int size) {
    auto& reader = *static_cast<PictureReader*>(user);
    if (size <= 0) return 0;
    if (reader.at >= reader.bytes.size()) {
        reader.askedPastEnd = true;
        return 0;
    }
    const size_t got = std::min(static_cast<size_t>(size), reader.bytes.size() - reader.at);
    std::memcpy(destination, reader.bytes.data() + reader.at, got);
    reader.at += got;
    return static_cast<int>(got);
}

void SkipPicture(void* user, int count) {
    auto& reader = *static_cast<PictureReader*>(user);
    // A negative count steps back over bytes already read.
    if (count < 0)
        reader.at -= std::min(reader.at, static_cast<size_t>(-static_cast<int64_t>(count)));
    else
        reader.at = std::min(reader.bytes.size(), reader.at + static_cast<size_t>(count));
}

int PictureAtEnd(void* user) {
    const auto& reader = *static_cast<const PictureReader*>(user);
    return reader.at >= reader.bytes.size() ? 1 : 0;
}

}  // namespace

namespace {

using DecodedPixels = std::unique_ptr<stbi_uc, void (*)(void*)>;

// The pixels of a picture file's bytes as the decoder made them; nullptr with a reason.
// A picture that decodes from a file cut short gets a warning: its missing rest is black.
DecodedPixels Decode(std::span<const uint8_t> bytes, int& width, int& height, std::string& error,
                     std::string& warning) {
    DecodedPixels none(nullptr, &stbi_image_free);
    if (bytes.empty()) {
        error = "empty file";
        return none;
    }
    if (bytes.size() > size_t(std::numeric_limits<int>::max())) {
        error = "file too large";
        return none;
    }
    if (!PngChunksFit(bytes)) {
        error = "picture data claims more bytes than the file holds";
        return none;
    }
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    const int length = static_cast<int>(bytes.size());
    // Check the header's size before decoding, so a file that claims a huge picture costs nothing.
    int channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels)) {
        const char* reason = stbi_failure_reason();
        error = std::string("not a readable picture: ") + (reason ? reason : "unknown format");
        return none;
    }
    if (width <= 0 || height <= 0 || width > MaxImageSide || height > MaxImageSide) {
        error =
            "picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large";
        return none;
    }
    // No picture format packs more than about 33,000 bytes of pixels into one byte of file: a small file
    // that claims a huge picture is damaged, and decoding it would fill up to 256 MB with nothing.
    if (size_t(width) * size_t(height) * 4 > bytes.size() * MaxPixelBytesPerFileByte) {
        error = "a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels cannot come from a file of " + std::to_string(bytes.size()) + " bytes";
        return none;
    }
    PictureReader reader{bytes};
    const stbi_io_callbacks callbacks{ReadPicture, SkipPicture, PictureAtEnd};
    DecodedPixels pixels(stbi_load_from_callbacks(&callbacks, &reader, &width, &height, &channels, 4),
                         &stbi_image_free);
    if (!pixels) {
        const char* reason = stbi_failure_reason();
        error = std::string("picture does not decode: ") + (reason ? reason : "unknown reason");
        return none;
    }
    if (width <= 0 || height <= 0 || width > MaxImageSide || height > MaxImageSide) {
        error = "picture size changed while decoding";
        return none;
    }
    if (reader.askedPastEnd) warning = "cut short: the rest of the picture is black";
    return pixels;
}

}  // namespace

bool DecodeImage(std::span<const uint8_t> bytes, Image& image, std::string& error) {
    image = Image{};
    int width = 0, height = 0;
    const DecodedPixels pixels = Decode(bytes, width, height, error, image.warning);
    if (!pixels) return false;
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

bool UseImageFile(const std::string& nativePath,
                  const std::function<bool(int width, int height, std::span<const uint8_t> rgba)>& use,
                  std::string& error, std::string* warning) {
    int width = 0, height = 0;
    DecodedPixels pixels(nullptr, &stbi_image_free);
    std::string decodeWarning;
    {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(nativePath, MaxImageFileBytes, bytes, error)) return false;
        pixels = Decode(bytes, width, height, error, decodeWarning);
    }
    if (warning) *warning = decodeWarning;
    if (!pixels) {
        error = nativePath + ": " + error;
        return false;
    }
    if (!use(width, height, std::span<const uint8_t>(pixels.get(), size_t(width) * size_t(height) * 4))) {
        error = nativePath + ": refused";
        return false;
    }
    return true;
}
