// Writing pictures to files: PNG for screenshots and contact sheets. Pixels are RGBA, 4 bytes each,
// top row first.
#pragma once

#include <cstdint>
#include <span>
#include <string>

bool WritePng(const std::string& nativePath, int width, int height, std::span<const uint8_t> rgba);
