// Input on the SDL side: turns SDL events into the window messages the game handles (virtual-key codes
// with auto-repeat, character messages in the single-byte code page, pointer, buttons, focus, close,
// size), keeps the held-key and pointer state the game polls, and turns game controllers into pad
// button messages (the left stick standing in for the d-pad). Translation is a
// set of pure functions so that every key of the game's key map can be checked without a window; the
// same key-message rules serve the headless script, so a scripted key behaves like a pressed one.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/keys.h"
#include "base/messages.h"
#include "device/window_layout.h"

// Virtual-key code for an SDL key, 0 for keys the game has no code for. Letters and digits are their
// upper-case ASCII codes; the keypad gives its digit codes with num lock on and the navigation keys
// with it off, except keypad 5, which is always 0x65 (it turns the piece either way).
int VirtualKeyFromSdl(const SDL_Keysym& keysym);

// Where the window's pointer positions land in the game's picture: the window's size in window
// coordinates, the drawable's in pixels and the picture in the drawable. All zero: as they come.
struct PointerMapping {
    PixelExtent window, drawable;
    PixelRect picture;
};

// Keyboard, mouse and window events -> messages. Pointer positions are given in the picture's pixels.
// F11, and Enter with Alt held, switch between window and full screen: they give the command 40003
// instead of a key (once per press, not on auto-repeat). Game-controller events are not handled here
// (see GamepadMapper); other events give nothing.
void TranslateEvent(const SDL_Event& event, std::vector<Message>& out, const PointerMapping& pointer = {});

// Game controllers. Button and axis events of any number of pads become pad button messages (the
// game decides what a button does in each state); the left stick presses the d-pad's directions, and
// a direction held on the d-pad or the stick repeats its press like a held key. A button counts as held
// while any pad holds it.
class GamepadMapper {
public:
    // Repeat timing of held directions, in milliseconds.
    static constexpr uint32_t RepeatDelayMs = 400;
    static constexpr uint32_t RepeatIntervalMs = 60;
    // Stick travel (of 32767) that presses a direction, and below which it is released again.
    static constexpr int StickPress = 12000;
    static constexpr int StickRelease = 8000;

    // Handles SDL_CONTROLLERBUTTONDOWN/UP, SDL_CONTROLLERAXISMOTION and SDL_CONTROLLERDEVICEREMOVED
    // (a pad pulled out releases what it held). Returns true when the event was a controller event.
    bool HandleEvent(const SDL_Event& event, uint32_t nowMs, std::vector<Message>& out);
    // Auto-repeat of held directions, called once per loop turn.
    void Update(uint32_t nowMs, std::vector<Message>& out);
    bool IsButtonHeld(int button) const;
    // Lets go of everything (focus lost).
    void ReleaseAll(std::vector<Message>& out);

private:
    // What one pad holds, by source.
    struct Pad {
        std::array<bool, PadButtonCount> buttons{};
        int stickX = 0;  // -1 left, 0, +1 right
        int stickY = 0;  // -1 up, 0, +1 down
    };
    struct Held {
        bool down = false;
        uint32_t nextRepeatMs = 0;
    };
    static bool PadHolds(const Pad& pad, int button);
    void Refresh(int button, uint32_t nowMs, std::vector<Message>& out);

    std::map<int32_t, Pad> pads;
    std::array<Held, PadButtonCount> held{};
};
