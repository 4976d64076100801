// Any bytes as an Ogg Vorbis file, on the game's own path: a stdio stream (here over the bytes in
// memory, as no file needs to be written) handed to the decoder, which reads it through the stdio
// callbacks the game uses. Refused, or decoded with reads that never deliver more than asked and never
// move past the stream's total. scripts/fuzz builds libogg and libvorbis into this target with the
// fuzzer's instrumentation.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "audio/sound_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    OggDecoder decoder;
    if (decoder.OpenFile(file) != 0) {
        if (decoder.error.empty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    std::vector<uint8_t> buffer(8192);
    // Bounded: a stream may claim a huge total, so only a few reads, looping on the later ones.
    for (int i = 0; i < 6; ++i) {
        const uint32_t got = decoder.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), i >= 3);
        if (got > buffer.size() || decoder.position > decoder.total) __builtin_trap();
        if (i == 2) decoder.Rewind();
    }
    return 0;
}
