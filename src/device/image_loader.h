// Decoding of the picture files the game ships (BMP, TGA raw or run-length coded in either row order,
// PNG, JPEG) into 32-bit RGBA pixels, top row first. Everything a file can be is expected here: missing,
// empty, truncated, garbage or absurdly large files give "no image" with a reason, never a crash and
// never an allocation larger than the biggest picture the device accepts.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// Largest accepted width or height: the device's texture limit.
constexpr int MaxImageSide = 8192;
// The most bytes of decoded pixels a byte of file is believed to hold: a one-bit palette PNG of one
// colour unpacks each bit into 32 and deflate packs about 1032 bytes into one, about 33,000 in all.
constexpr size_t MaxPixelBytesPerFileByte = 65536;
// Largest picture file read at all (an uncompressed 8192 x 8192 picture with headroom).
constexpr size_t MaxImageFileBytes = size_t(MaxImageSide) * MaxImageSide * 4 + (1u << 20);

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;  // width x height x 4 bytes, top row first
    // What is wrong with a picture that decoded all the same: a file that ends before its picture
    // does (the rest is black). "" for nothing.
    std::string warning;
};

// False with a reason when the bytes are not a picture of an accepted size.
bool DecodeImage(std::span<const uint8_t> bytes, Image& image, std::string& error);
bool LoadImageFile(const std::string& nativePath, Image& image, std::string& error);
// Decodes a picture file and hands its pixels (width x height x 4 bytes, top row first) to `use`
// without copying them: a large picture is held once, not twice, while it goes on to the device.
// False with a reason when the file is not a picture of an accepted size, or when `use` refuses it;
// warning (when given) receives what is wrong with a picture that decoded all the same.
bool UseImageFile(const std::string& nativePath,
                  const std::function<bool(int width, int height, std::span<const uint8_t> rgba)>& use,
                  std::string& error, std::string* warning = nullptr);

// Reads a whole file of at most maxBytes. False when missing, unreadable or larger.
bool ReadWholeFile(const std::string& nativePath, size_t maxBytes, std::vector<uint8_t>& bytes,
                   std::string& error);
