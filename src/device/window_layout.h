// The game's window on the desktop, and where the game's picture lies in a window of any size. The picture
// keeps the shape of the client area the game was made for (4:3 for Kelvane): it is the largest rectangle of
// that shape that fits the window's drawable, centred, with dark bars on the two sides that are left over.
// The game sees only the picture: its client size, its pointer positions and its screen coordinates are the
// picture's pixels, so the game's own arithmetic is the same at every window size. The 3D scene may be drawn
// with fewer pixels than the picture and scaled up (see SceneSize).
#pragma once

#include <optional>
#include <span>

#include "base/messages.h"

// A rectangle of pixels, x to the right and y downwards from the top-left corner.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const PixelRect&) const = default;
};

struct PixelExtent {
    int width = 0, height = 0;
    bool operator==(const PixelExtent&) const = default;
};

// The picture of shape shapeWidth : shapeHeight inside a drawable of the given size. A drawable too small
// to hold a pixel of that shape (or a shape that is not positive) gets the whole drawable.
PixelRect FitPicture(int drawableWidth, int drawableHeight, int shapeWidth, int shapeHeight);

// The size the 3D scene is drawn at for a picture: the picture's own size when it has no more pixels
// than limit (or the limit is 0 x 0), otherwise the largest size of the picture's shape within limit.
PixelExtent SceneSize(PixelExtent picture, PixelExtent limit);

// A pointer position in window coordinates (points, which a high-density display maps to several
// pixels each) as a position in the picture's pixels. Positions over the bars lie outside the picture
// (negative, or beyond its size): the game sees them as what they are, off its picture.
Point PictureFromWindow(Point window, PixelExtent windowSize, PixelExtent drawableSize,
                        const PixelRect& picture);

// Where a window of the wanted client size opens on displays with these usable areas (desktop
// coordinates; the first is the primary display). A remembered position is kept when the window's
// middle lies on a display; otherwise (a display since unplugged, a garbage value) the window opens in the
// middle of the primary display. The size is at least `minimum` and at most what the display holds.
PixelRect PlaceWindow(PixelExtent wanted, std::optional<Point> position, std::span<const PixelRect> displays,
                      PixelExtent minimum);
