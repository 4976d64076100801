// Any bytes as an Ogg Vorbis file, opened from memory: refused, or decoded with reads that never
// deliver more than asked and never move past the stream's total.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/sound_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    OggDecoder decoder;
    if (decoder.OpenMemory(data, size) != 0) return 0;
    std::vector<uint8_t> buffer(8192);
    // Bounded: a stream may claim a huge total, so only a few reads, looping on the later ones.
    for (int i = 0; i < 6; ++i) {
        const uint32_t got = decoder.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), i >= 3);
        if (got > buffer.size() || decoder.position > decoder.total) __builtin_trap();
        if (i == 2) decoder.Rewind();
    }
    return 0;
}
