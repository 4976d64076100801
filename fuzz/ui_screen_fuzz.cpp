// Any bytes as a screen file: loading keeps every capacity and field width, and the loaded screen
// can be drawn, hovered and searched without faults, whatever numbers it holds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "device/device.h"
#include "persist/log.h"
#include "ui/screen.h"
#include "ui/texture_registry.h"

namespace {

class FuzzWindow : public Window {
public:
    int ClientWidth() const override { return 800; }
    int ClientHeight() const override { return 600; }
};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzWindow window;
    static bool ready = [] {
        // Logs and options go to a scratch directory of this process.
        const auto dir =
            std::filesystem::temp_directory_path() / ("kelvane_ui_screen_fuzz_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        textureRegistry.BindDevice(&window, nullptr);
        return true;
    }();
    (void)ready;
    static unsigned runs = 0;
    if (++runs % 256 == 0) {
        std::filesystem::remove("app.log");
        ResetLogState();
    }

    Screen screen;
    screen.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size), "menu-fuzz.xml");
    Check(screen.Buttons().size() <= MaxScreenButtons && screen.Sliders().size() <= MaxScreenSliders &&
          screen.Images().size() <= MaxScreenImages && screen.Texts().size() <= MaxScreenTexts);
    Check(screen.bgImage.size() <= ScreenFieldLength);
    for (const ScreenButton& b : screen.Buttons())
        Check(b.name.size() <= ScreenFieldLength && b.action.size() <= ScreenFieldLength &&
              b.outImgChecked.size() <= ScreenFieldLength && b.hovered == 0);
    for (const ScreenText& t : screen.Texts())
        Check(t.text.size() <= ScreenTextLength && t.name.size() <= ScreenFieldLength);
    for (const ScreenSlider& s : screen.Sliders()) Check(s.value >= 0 && s.value <= 1);

    screen.Draw();
    for (const Point p : {Point{400, 300}, Point{0, 0}, Point{799, 599}, Point{-5, 1000}})
        Check(screen.HandleMouse(WM_MOUSEMOVE, p.x, p.y, false).empty());
    for (const ScreenButton& b : screen.Buttons()) {
        screen.FindActionCentre(b.action);
        screen.GetTextX(b.name);
    }
    return 0;
}
