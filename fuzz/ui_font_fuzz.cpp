// Any bytes as a glyph width row and as a language section: parsing keeps at most 16 finite widths,
// and the font loads its symbol list and widths and lays out any text without faults.
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

#include "persist/config.h"
#include "persist/ini.h"
#include "persist/log.h"
#include "ui/bitmap_font.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        const auto dir =
            std::filesystem::temp_directory_path() / ("kelvane_ui_font_fuzz_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        SetLanguageName("ENGLISH");
        return true;
    }();
    (void)ready;
    static unsigned runs = 0;
    if (++runs % 256 == 0) {
        std::filesystem::remove("app.log");
        ResetLogState();
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const WidthRow row = ParseWidthRow(bytes);
    Check(row.count >= 0 && row.count <= GlyphColumns);
    for (int k = 0; k < row.count; ++k) Check(std::isfinite(row.widths[k]));

    {
        std::ofstream out("language.ini", std::ios::binary | std::ios::trunc);
        out << "[ENGLISH]\r\n";
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    IniForgetCache();
    bitmapFont.Reset();
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
    bitmapFont.Layout(bytes.substr(0, 512), 0.01f, glyphs);
    Check(glyphs.size() == std::min<size_t>(bytes.size(), 512));
    return 0;
}
