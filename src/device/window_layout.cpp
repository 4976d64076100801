#include "device/window_layout.h"

#include <algorithm>
#include <cmath>
#include <numeric>

PixelRect FitPicture(int drawableWidth, int drawableHeight, int shapeWidth, int shapeHeight) {
    const PixelRect whole{0, 0, std::max(drawableWidth, 0), std::max(drawableHeight, 0)};
    if (drawableWidth <= 0 || drawableHeight <= 0 || shapeWidth <= 0 || shapeHeight <= 0) return whole;
    // Whole steps of the reduced shape keep it exact (1440 x 1080 is 4:3 to the pixel); a shape whose
    // steps would be coarse is rounded to the nearest pixel instead.
    const int divisor = std::gcd(shapeWidth, shapeHeight);
    const int stepWidth = shapeWidth / divisor, stepHeight = shapeHeight / divisor;
    int width = 0, height = 0;
    if (stepWidth <= 64 && stepHeight <= 64) {
        const int steps = std::min(drawableWidth / stepWidth, drawableHeight / stepHeight);
        width = steps * stepWidth;
        height = steps * stepHeight;
    } else {
        const double shape = double(shapeWidth) / double(shapeHeight);
        width = std::min(drawableWidth, int(std::floor(double(drawableHeight) * shape)));
        height = std::min(drawableHeight, int(std::lround(double(width) / shape)));
    }
    if (width <= 0 || height <= 0) return whole;
    return {(drawableWidth - width) / 2, (drawableHeight - height) / 2, width, height};
}

PixelExtent SceneSize(PixelExtent picture, PixelExtent limit) {
    if (picture.width <= 0 || picture.height <= 0)
        return {std::max(picture.width, 1), std::max(picture.height, 1)};
    if (limit.width <= 0 || limit.height <= 0) return picture;
    if (picture.width <= limit.width && picture.height <= limit.height) return picture;
    const double scale =
        std::min(double(limit.width) / double(picture.width), double(limit.height) / double(picture.height));
    return {std::max(1, int(std::floor(double(picture.width) * scale + 1e-9))),
            std::max(1, int(std::floor(double(picture.height) * scale + 1e-9)))};
}

Point PictureFromWindow(Point window, PixelExtent windowSize, PixelExtent drawableSize,
                        const PixelRect& picture) {
    auto toDrawable = [](int position, int windowExtent, int drawableExtent) {
        if (windowExtent <= 0 || drawableExtent <= 0 || windowExtent == drawableExtent) return position;
        return int(std::floor(double(position) * double(drawableExtent) / double(windowExtent)));
    };
    return {toDrawable(window.x, windowSize.width, drawableSize.width) - picture.x,
            toDrawable(window.y, windowSize.height, drawableSize.height) - picture.y};
}

PixelRect PlaceWindow(PixelExtent wanted, std::optional<Point> position, std::span<const PixelRect> displays,
                      PixelExtent minimum) {
    auto contains = [](const PixelRect& area, long x, long y) {
        return x >= area.x && y >= area.y && x < long(area.x) + area.width && y < long(area.y) + area.height;
    };
    const PixelRect* display = nullptr;
    if (position) {
        const long middleX = long(position->x) + wanted.width / 2,
                   middleY = long(position->y) + wanted.height / 2;
        for (const PixelRect& area : displays)
            if (contains(area, middleX, middleY)) {
                display = &area;
                break;
            }
    }
    const bool keepPosition = display != nullptr;
    if (!display && !displays.empty()) display = &displays.front();
    PixelRect placed{0, 0, std::max(wanted.width, minimum.width), std::max(wanted.height, minimum.height)};
    if (display && display->width > 0 && display->height > 0) {
        placed.width = std::max(std::min(placed.width, display->width), minimum.width);
        placed.height = std::max(std::min(placed.height, display->height), minimum.height);
    }
    if (keepPosition) {
        placed.x = position->x;
        placed.y = position->y;
    } else if (display) {
        placed.x = display->x + (display->width - placed.width) / 2;
        placed.y = display->y + (display->height - placed.height) / 2;
    }
    return placed;
}
