// Helpers for the sound tests: sound files written byte by byte (waves, MIDI) or encoded on the spot
// (Ogg Vorbis), a scratch working directory with a "Sound" folder, and reading the mix back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A RIFF wave file. fmtSize 16 writes the plain PCM record, 18 adds the extra-size field.
struct TestWaveLayout {
    uint16_t formatTag = 1;
    uint16_t channels = 1;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    uint32_t fmtSize = 16;
    int64_t dataSizeOverride = -1;  // declared data size, when it should not match the bytes
};
std::vector<uint8_t> MakeWav(const TestWaveLayout& layout, const std::vector<uint8_t>& samples);
std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples);

// Ogg Vorbis of the given interleaved float samples.
std::vector<uint8_t> MakeOgg(int channels, int rate, const std::vector<float>& interleaved);
std::vector<float> Sine(int channels, int rate, double seconds, double hertz, float amplitude);

// A format-0 MIDI file playing one note for the given number of ticks (480 per quarter, 120 bpm,
// so 960 ticks last a second).
std::vector<uint8_t> MakeMidi(uint32_t noteTicks);

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::string ReadText(const std::filesystem::path& path);

// A fresh directory made current for the test, with a "Sound" folder; the old one comes back after.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    std::filesystem::path Path() const { return path; }
    std::filesystem::path Sound(const std::string& name) const { return path / "Sound" / name; }

private:
    std::filesystem::path path;
    std::filesystem::path previous;
};

// Left channel of an interleaved stereo mix.
std::vector<int16_t> LeftChannel(const std::vector<int16_t>& stereo);
int PeakOf(const std::vector<int16_t>& samples);
