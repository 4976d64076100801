// The game's own sound effects: seven short wave files, each read whole into memory once and put in a
// static mixer buffer of its own, addressed by number (1..count) in load order. Playing an effect
// restarts it from its beginning, once, at the effects' volume (full unless the player turned it
// down); several effects sound together. A file that fails to load still takes its number and plays
// nothing, and the log names it with the reason. Without an audio device every call does nothing,
// except that a load still checks the file (and logs a broken one). Whether effects are wanted at all
// (the sound option) is for the callers to decide.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio_out/audio_mixer.h"

constexpr int MaxWaveEffects = 100;

// One wave file read whole: its format record and its samples.
class WaveFile {
public:
    // Reads a file (native path) or a file image in memory; valid tells whether it can be played.
    explicit WaveFile(const std::string& nativePath);
    WaveFile(const uint8_t* data, size_t size);

    bool valid = false;
    uint32_t dataSize = 0;
    WaveFormat format;
    std::vector<uint8_t> data;
    std::string error;
    std::string warning;  // what is wrong with a file that is played all the same
};

class WaveEffects {
public:
    WaveEffects() = default;
    ~WaveEffects() { Release(); }
    WaveEffects(const WaveEffects&) = delete;
    WaveEffects& operator=(const WaveEffects&) = delete;

    // 0 on success, 1 without an audio device.
    int Init(AudioMixer* mixer);
    bool Load(const std::string& gamePath);
    bool Play(int number, uint32_t flags);
    bool Stop(int number);
    // The volume of every effect, 0..1 on the sound bank's scale (VolumeToAttenuation); 1 at start.
    void SetVolume(float volume);
    float Volume() const { return volume; }
    void Release();

    bool IsReady() const { return ready; }
    int Count() const { return count; }
    // The effect's play cursor in bytes (for latency measurements), 0 when idle or unknown.
    uint32_t Position(int number) const;
    bool IsPlaying(int number) const;
    const WaveFile* File(int number) const;

private:
    static void LogFailure(const std::string& gamePath, const std::string& reason);
    static void LogWarning(const std::string& gamePath, const std::string& warning);

    struct Slot {
        int buffer = 0;
        uint32_t size = 0;
        std::unique_ptr<WaveFile> file;
    };
    bool ready = false;
    float volume = 1.0f;
    AudioMixer* device = nullptr;
    int count = 0;
    Slot slots[MaxWaveEffects + 1];
};

WaveEffects& GameWaveEffects();

// The game's calls on the global effects. PlayWaveEffect flags: 1 loops, 0 plays once.
int InitWaveEffects(AudioMixer* mixer);
bool LoadWaveEffect(const std::string& gamePath);
bool PlayWaveEffect(int number, uint32_t flags);
bool StopWaveEffect(int number);
void ReleaseWaveEffects();

// The seven effect files in their load order, which makes their numbers.
extern const char* const WaveEffectFiles[7];
// Loads the seven files in order (the first device creation of a run).
void LoadGameWaveEffects();
