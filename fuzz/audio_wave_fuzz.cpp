// Any bytes as a wave file: the effect reader must refuse or read within the data, and a stream over
// the same bytes must deliver exactly what is asked for, looping or not.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/sound_decoder.h"
#include "audio/wave_effects.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const WaveFile wave(data, size);
    if (wave.valid && (wave.data.size() != wave.dataSize || wave.dataSize % wave.format.blockAlign != 0))
        __builtin_trap();

    WavDecoder decoder;
    if (decoder.OpenSource(std::make_unique<MemoryByteSource>(data, size)) == 0) {
        std::vector<uint8_t> buffer(4099);
        for (int i = 0; i < 4; ++i) {
            const uint32_t got =
                decoder.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), i % 2 == 1);
            if (got > buffer.size() || decoder.position > decoder.total) __builtin_trap();
        }
        decoder.Rewind();
    }
    return 0;
}
