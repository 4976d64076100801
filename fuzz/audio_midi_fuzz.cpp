// Any bytes as a standard MIDI file: the check must answer without reading outside the data.
#include <cstddef>
#include <cstdint>

#include "audio_out/midi_synth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const MidiFileInfo info = ParseMidiFile(data, size);
    if (info.valid && (info.trackCount == 0 || info.division == 0)) __builtin_trap();
    return 0;
}
