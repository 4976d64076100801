// Any bytes as a structure value: decoding accepts only exact, checksummed hex, and what it accepts
// encodes back to the same digits. Any 3600 bytes as a high-score block decode to tables that store
// and load again unchanged.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "persist/config.h"
#include "persist/highscores.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t exact = size >= 2 ? (size - 2) / 2 : 0;
    for (size_t bytes : {exact, exact + 1, size_t(0)}) {
        std::string buffer(bytes, '\x5A');
        const std::string before = buffer;
        if (DecodeStructure(text, buffer.data(), bytes)) {
            std::string upper = text;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (EncodeStructure(buffer.data(), bytes) != upper) std::abort();
        } else if (buffer != before) {
            std::abort();
        }
    }

    if (size >= HighScoreBlockSize) {
        HighScoreStore table;
        if (!table.DecodeBlock(text.substr(0, HighScoreBlockSize))) std::abort();
        const std::string stored = table.EncodeBlock();
        HighScoreStore again;
        if (!again.DecodeBlock(stored) || again.EncodeBlock() != stored) std::abort();
    }
    return 0;
}
