// The window's place on the desktop as the player left it, remembered in config.ini [WINDOW] (Left, Top,
// Width, Height: the client area in window coordinates). Written whenever the player has moved or
// resized the plain window; read once at start. Values that make no sense (not numbers, a size below
// the minimum or beyond any screen, a place far off any desktop) are logged and left out: the window
// then opens at the game's own size, or in the middle of the desktop.
#pragma once

#include <optional>

#include "device/window_layout.h"

struct RememberedWindow {
    std::optional<PixelExtent> size;
    std::optional<Point> position;
};

RememberedWindow LoadWindowPlace(PixelExtent minimum);
// False when config.ini could not be written.
bool StoreWindowPlace(const PixelRect& placement);
