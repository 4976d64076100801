#include "app/window_place.h"

#include <string>

#include "persist/config.h"
#include "persist/log.h"

namespace {
const char* const WindowSection = "WINDOW";
// Larger than any screen the game can draw on, and farther out than any desktop reaches.
constexpr int LargestSide = 16384;
constexpr int FarthestPlace = 100000;

// A stored value: nullopt when it is missing; a value that is there but unusable is logged.
std::optional<int> Stored(const char* key, int lowest, int highest) {
    std::string text;
    if (!ReadConfigString(WindowSection, key, text)) return std::nullopt;
    int value = 0;
    if (ReadConfigInt(WindowSection, key, value) && value >= lowest && value <= highest) return value;
    WriteLog("config.ini [" + std::string(WindowSection) + "] " + key + " = '" + text +
                 "' is not a usable value from " + std::to_string(lowest) + " to " + std::to_string(highest) +
                 "; it is left out",
             LogTimeStamp | LogWarning);
    return std::nullopt;
}
}  // namespace

RememberedWindow LoadWindowPlace(PixelExtent minimum) {
    RememberedWindow remembered;
    const std::optional<int> width = Stored("Width", minimum.width, LargestSide);
    const std::optional<int> height = Stored("Height", minimum.height, LargestSide);
    if (width && height) remembered.size = PixelExtent{*width, *height};
    const std::optional<int> left = Stored("Left", -FarthestPlace, FarthestPlace);
    const std::optional<int> top = Stored("Top", -FarthestPlace, FarthestPlace);
    if (left && top) remembered.position = Point{*left, *top};
    return remembered;
}

bool StoreWindowPlace(const PixelRect& placement) {
    bool written = true;
    for (const auto& [key, value] :
         {std::pair{"Left", placement.x}, std::pair{"Top", placement.y}, std::pair{"Width", placement.width},
          std::pair{"Height", placement.height}})
        written = WriteConfigString(WindowSection, key, std::to_string(value)) && written;
    return written;
}
