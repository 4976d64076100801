// Any bytes as the game's soundfont, through the synth's own soundfont loader (the file lives in
// memory-backed /dev/shm, so no input is written to disk), then a short song is played through it. A
// soundfont that does not load leaves the synth silent, with the synth's reason; one that loads plays
// without faults.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "audio_out/midi_synth.h"

namespace {

// A format 0 song of one track: a program change, a chord on channel 0 and a drum, then the end.
std::vector<uint8_t> Song() {
    const std::vector<uint8_t> events = {
        0,   0xC0, 5,    0,  0x90, 60, 100,  0,  0x90, 64, 100,  0,  0x90, 67, 100,  0,    0x99, 36,
        100, 48,   0x89, 36, 0,    48, 0x80, 60, 0,    0,  0x80, 64, 0,    0,  0xFF, 0x2F, 0,
    };
    std::vector<uint8_t> song = {'M', 'T', 'h', 'd', 0,   0,   0,   6, 0, 0, 0,
                                 1,   0,   96,  'M', 'T', 'r', 'k', 0, 0, 0};
    song.push_back(static_cast<uint8_t>(events.size()));
    song.insert(song.end(), events.begin(), events.end());
    return song;
}

const std::string& FontPath() {
    static const std::string path = "/dev/shm/kelvane_soundfont_fuzz_" + std::to_string(::getpid()) + ".sf2";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(FontPath().c_str(), "wb");
    if (!file) return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return 0;

    // The synth is made once, as the game makes it; each input is loaded into it by the same loader.
    static MidiSynth synth;
    std::string error;
    static const bool ready = synth.Init("", error);
    if (!ready) return 0;
    if (!synth.LoadSoundFont(FontPath(), error)) {
        if (synth.HasSoundFont() || error.find("soundfont does not load") == std::string::npos)
            __builtin_trap();
        return 0;
    }
    static const std::vector<uint8_t> song = Song();
    const int number = synth.AddSong(song, error);
    if (number < 0 || !synth.Play(number, 0)) __builtin_trap();
    std::vector<float> block(512 * 2);
    for (int i = 0; i < 16 && synth.IsPlaying(); ++i) synth.RenderMusic(block.data(), 512);
    return 0;
}
