// Any bytes as a standard MIDI file, as the game reads it: the check must answer without reading outside
// the data, and a file it accepts is handed to the synthesiser, whose MIDI player reads it and plays it
// for a while (with the system's General MIDI soundfont when there is one), without faults.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/music_player.h"
#include "audio_out/midi_synth.h"

namespace {
// About a fifth of a second of music per input: enough for the player to read the whole file and play
// its first events.
constexpr int RenderBlocks = 8;
constexpr int BlockFrames = 512;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const MidiFileInfo info = ParseMidiFile(data, size);
    if (info.valid && (info.trackCount == 0 || info.division == 0)) __builtin_trap();
    if (!info.valid) {
        if (info.error.empty()) __builtin_trap();
        return 0;
    }

    static MidiSynth synth;
    static const bool ready = [] {
        std::string error;
        return synth.Init(FindSoundFont(), error);
    }();
    if (!ready) return 0;
    std::string error;
    // One song at a time: the synth is made anew once its list grows long.
    if (synth.SongCount() > 64) synth.Init(FindSoundFont(), error);
    const int song = synth.AddSong(std::vector<uint8_t>(data, data + size), error);
    if (song < 0 || synth.SongTicks(song) != info.totalTicks) __builtin_trap();
    if (!synth.Play(song, 1)) return 0;
    std::vector<float> block(BlockFrames * 2);
    for (int i = 0; i < RenderBlocks && synth.IsPlaying(); ++i) synth.RenderMusic(block.data(), BlockFrames);
    synth.Stop();
    return 0;
}
