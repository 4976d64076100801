// Any bytes as the font's two halves: a language section (glyph width rows, symbol list) and the font
// picture. Parsing keeps at most 16 finite widths; the font loads its symbol list, widths and picture
// (decoded from memory by the game's picture decoder, instrumented in this target) and lays out and
// draws any text without faults. The language file lives in memory-backed /dev/shm: no input is
// written to disk.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "device/image_loader.h"
#include "persist/config.h"
#include "persist/ini.h"
#include "persist/log.h"
#include "recording_device.h"
#include "ui/bitmap_font.h"
#include "ui/texture_registry.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

class SizedTexture : public Texture {
public:
    SizedTexture(int width, int height) : width(width), height(height) {}
    int Width() const override { return width; }
    int Height() const override { return height; }

private:
    int width, height;
};

// Draws nothing; its pictures come from the fuzzer's bytes instead of files.
class FontDevice : public RecordingDevice {
public:
    std::string_view picture;
    std::unique_ptr<Texture> CreateTextureFromFile(const std::string&) override {
        Image image;
        std::string error;
        if (!DecodeImage({reinterpret_cast<const uint8_t*>(picture.data()), picture.size()}, image, error))
            return nullptr;
        Check(image.width > 0 && image.height > 0 &&
              image.rgba.size() == size_t(image.width) * image.height * 4);
        return std::make_unique<SizedTexture>(image.width, image.height);
    }
};

class FontWindow : public Window {
public:
    int ClientWidth() const override { return 800; }
    int ClientHeight() const override { return 600; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FontDevice device;
    static FontWindow window;
    static bool ready = [] {
        const std::filesystem::path dir = "/dev/shm/kelvane_ui_font_fuzz_" + std::to_string(::getpid());
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        SetLanguageName("ENGLISH");
        textureRegistry.BindDevice(&window, &device);
        return true;
    }();
    (void)ready;
    static unsigned runs = 0;
    if (++runs % 256 == 0) {
        std::filesystem::remove("app.log");
        ResetLogState();
    }
    if (size < 2) return 0;
    // The first two bytes say where the language section ends and the picture begins.
    const size_t split = (size_t(data[0]) | size_t(data[1]) << 8) % (size - 1);
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string_view language = bytes.substr(0, split), picture = bytes.substr(split);

    const WidthRow row = ParseWidthRow(language);
    Check(row.count >= 0 && row.count <= GlyphColumns);
    for (int k = 0; k < row.count; ++k) Check(std::isfinite(row.widths[k]));

    {
        std::ofstream out("language.ini", std::ios::binary | std::ios::trunc);
        out << "[ENGLISH]\r\n";
        out.write(language.data(), std::streamsize(language.size()));
    }
    device.picture = picture;
    bitmapFont.LoadSymbolWidths("Graphics\\font01.tga");
    Check(bitmapFont.WidthsLoaded());
    Check(bitmapFont.SymbolList().size() <= 254);
    for (int i = 0; i < 256; ++i) {
        const int cell = bitmapFont.GlyphIndex(static_cast<unsigned char>(i));
        Check(cell == -1 ||
              (cell >= 0 && static_cast<size_t>(cell) < bitmapFont.SymbolList().size() &&
               static_cast<unsigned char>(bitmapFont.SymbolList()[static_cast<size_t>(cell)]) == i));
    }
    std::vector<GlyphPlacement> glyphs;
    const std::string_view text = language.substr(0, 512);
    bitmapFont.Layout(text, 0.01f, glyphs);
    Check(glyphs.size() == text.size());
    // Drawn as the game draws: translated, literal, anchored and in pixel size.
    for (uint32_t flags : {0u, TEXT_CENTRE, TEXT_RIGHT | TEXT_LITERAL, TEXT_PIXEL_SIZE})
        bitmapFont.DrawText(0.5f, 0.5f, 0.04f, 0xFFFFFFFF, flags, std::string(text));

    // Everything this input made is let go again, so the fuzzer's leak check finds a balanced run.
    device.draws = {};
    textureRegistry.DeleteAllTexturesMIPMAP();
    bitmapFont.Reset();
    IniForgetCache();
    return 0;
}
