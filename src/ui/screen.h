// Menu screens: one screen file ("menu-main.xml" and the like) loaded into a record of widgets that
// draws itself every frame and answers the mouse. A screen never acts on a click itself: it hands back
// the action string of the widget used and the shell decides. Check boxes and sliders keep their state
// in the store the shell gives (the player's settings) under their names, read when the screen is loaded
// and stored on every change.
//  - At most 50 buttons, 5 sliders, 20 images and 20 texts; extra elements are ignored (and logged).
//  - String fields hold at most 39 characters (a text's text 99); longer values are cut (and logged).
//  - Sizes of "stretch" = "no" widgets and of sliders are taken from their pictures when the screen
//    is drawn; hit tests use the sizes of the last drawing.
//  - Names and actions compare byte for byte.
//  - A screen that takes the keyboard and the pads (EnableFocus) has one focused widget, drawn with its
//    hover picture; the pointer moving onto a widget moves the focus there, and a focus move from the
//    keyboard takes the hover from the widget under the pointer, so only one widget is lit.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"

constexpr size_t ScreenFieldLength = 39;
constexpr size_t ScreenTextLength = 99;
constexpr size_t MaxScreenButtons = 50;
constexpr size_t MaxScreenSliders = 5;
constexpr size_t MaxScreenImages = 20;
constexpr size_t MaxScreenTexts = 20;
// Screen files are a few kilobytes; anything far larger is not a screen.
constexpr size_t MaxScreenFileSize = 4u << 20;

struct ScreenButton {
    std::string name, text, align, stretch;
    float xc = 0, yc = 0, width = 0, height = 0;
    std::string outImg, overImg, outImgChecked, overImgChecked, action;
    float labelSize = 0;
    int hovered = 0;
    int checked = 0;

    bool Checkable() const { return !outImgChecked.empty(); }
};

struct ScreenSlider {
    std::string name;
    float xc = 0, yc = 0;
    std::string outSliderImg, overSliderImg, outThumbImg, overThumbImg, action;
    float trackWidth = 0, trackHeight = 0, thumbWidth = 0, thumbHeight = 0;
    int hovered = 0;
    float value = 0.75f;
};

struct ScreenImage {
    std::string img, stretch;
    float xc = 0, yc = 0, width = 0, height = 0;
};

struct ScreenText {
    std::string name, text, align;
    float xc = 0, yc = 0, size = 0;
};

// The screens play their hover and click sounds through this hook (the shell hands it to the sound
// bank); without one they are silent.
void SetScreenSoundPlayer(std::function<void(const std::string& fileName)> player);

// Where the screens keep the states of their check boxes and sliders, under the widgets' names. The
// shell keeps them with the player's settings; without a store nothing is restored or stored.
class ScreenOptionStore {
public:
    virtual ~ScreenOptionStore() = default;
    // The stored value as a number; false, value unchanged, when there is none.
    virtual bool ReadOptionInt(const std::string& name, int& value) = 0;
    virtual bool ReadOptionFloat(const std::string& name, float& value) = 0;
    virtual void StoreOption(const std::string& name, const std::string& value) = 0;
};
void SetScreenOptionStore(ScreenOptionStore* store);

// What the keyboard and the pads ask of a menu.
enum class MenuMove { Up, Down, Left, Right, Activate, Back };

// How far one Left or Right press moves a focused slider.
constexpr float SliderKeyStep = 0.05f;

class ScreenFileReader;

class Screen {
public:
    // Reads the screen file (a game path, relative to the working directory). 1 on success; 0 when it
    // cannot be read or parsed, after logging "Fatal error, cannot load XML: " and the name; the screen
    // is then empty.
    int LoadFromXml(const std::string& fileName);
    // The same from the file's bytes; fileName only names it in the log.
    int LoadFromText(std::string_view xml, const std::string& fileName);

    void Draw();
    // Acts on WM_MOUSEMOVE and WM_LBUTTONDOWN only, with the pointer (x, y) in client pixels and the
    // left button's state at this moment. Returns the action of the widget used, or "".
    std::string HandleMouse(uint32_t messageId, int x, int y, bool leftButtonDown);

    int IsChecked(std::string_view name) const;
    // Every button of that name gets the state, and each stores it.
    void SetChecked(std::string_view name, int value);
    // "xc", "yc", "size" of the first text of that name; 0 when there is none.
    float GetTextX(std::string_view name) const;
    float GetTextY(std::string_view name) const;
    float GetTextSize(std::string_view name) const;

    // Client-pixel centre of the first button, else the first slider, with that action: a point the
    // hit test accepts when the widget has any area.
    std::optional<Point> FindActionCentre(std::string_view action) const;
    // True when a button or slider returns that action.
    bool HasAction(std::string_view action) const;
    // The file the screen was loaded from, and whether it could not be read or parsed.
    const std::string& FileName() const { return fileName; }
    bool LoadFailed() const { return loadFailed; }

    // Keyboard and pad focus (off after loading).
    void EnableFocus(bool enabled);
    bool FocusEnabled() const { return focusEnabled; }
    // As when the screen opens: the first button (or, without buttons, the first slider) has the focus
    // and nothing is lit by the pointer.
    void ResetFocus();
    // Up, Down, Left and Right move the focus to the nearest widget that way (Left and Right only to a
    // widget on the same line; Up and Down wrap round); Left and Right on a focused slider move its
    // value by SliderKeyStep instead, store it and return its action. Activate presses the focused
    // button exactly as a click does (click sound, check box flipped and stored) and returns its
    // action. Back presses the first button whose action is "procClose", else "procNo". Returns ""
    // when nothing was activated; a focus move plays "overSound".
    std::string Navigate(MenuMove move);
    // The focused widget: buttons first, then sliders, by file order; -1 for none.
    int Focus() const { return focus; }
    // The first button of that name; nullptr when there is none.
    const ScreenButton* FindButton(std::string_view name) const;
    // The value of the first slider of that name; fallback when there is none.
    float SliderValue(std::string_view name, float fallback) const;
    // Name and action of the focused widget ("" for none).
    std::string FocusedName() const;
    std::string FocusedAction() const;

    // The screen's own fields and its widgets, for the shell's state dump and for tests.
    std::string bgImage, clickSound, overSound;
    float xc = 0, yc = 0, width = 0, height = 0;
    const std::vector<ScreenButton>& Buttons() const { return buttons; }
    const std::vector<ScreenSlider>& Sliders() const { return sliders; }
    const std::vector<ScreenImage>& Images() const { return images; }
    const std::vector<ScreenText>& Texts() const { return texts; }

private:
    void Clear();
    void RestoreOptions(ScreenFileReader& reader);
    void PlaySound(const std::string& fileName) const;
    const ScreenText* FindText(std::string_view name) const;
    std::string Press(ScreenButton& button);
    std::string SetSliderValue(ScreenSlider& slider, float value);
    bool IsLit(size_t widget, int hovered) const;
    int NearestWidget(MenuMove move) const;
    void MoveFocus(int widget);

    std::string fileName;
    bool loadFailed = false;
    std::vector<ScreenButton> buttons;
    std::vector<ScreenSlider> sliders;
    std::vector<ScreenImage> images;
    std::vector<ScreenText> texts;
    bool focusEnabled = false;
    int focus = -1;
};
