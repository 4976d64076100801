// Audio figures: what mixing one second of sound costs with eight effects and the MIDI music playing
// (the goal is under 5% of one core), and how long an effect takes from PlayWaveEffect to its first
// sample leaving the mix on a running device with 512-frame blocks (the goal is under 30 ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "audio/music_player.h"
#include "audio/wave_effects.h"
#include "audio_out/audio_mixer.h"

namespace {

std::vector<uint8_t> WaveBytes(uint16_t channels, uint32_t rate, double seconds) {
    const uint32_t frames = static_cast<uint32_t>(rate * seconds);
    const uint32_t dataBytes = frames * channels * 2;
    std::vector<uint8_t> out;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto id = [&](const char* text) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(text[i]));
    };
    id("RIFF");
    put(36 + dataBytes, 4);
    id("WAVE");
    id("fmt ");
    put(16, 4);
    put(1, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * 2, 4);
    put(channels * 2, 2);
    put(16, 2);
    id("data");
    put(dataBytes, 4);
    for (uint32_t i = 0; i < frames * channels; ++i)
        put(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 0.05))), 2);
    return out;
}

// A minute of four-note chords, one every quarter note at 120 bpm.
std::vector<uint8_t> ChordsMidi() {
    std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
    for (int beat = 0; beat < 120; ++beat) {
        const uint8_t root = static_cast<uint8_t>(48 + beat % 12);
        for (uint8_t note : {root, static_cast<uint8_t>(root + 4), static_cast<uint8_t>(root + 7),
                             static_cast<uint8_t>(root + 12)})
            for (uint8_t b : {uint8_t{0}, uint8_t{0x90}, note, uint8_t{100}}) track.push_back(b);
        track.insert(track.end(), {0x83, 0x60, 0x80, root, 0});  // 480 ticks later
        for (uint8_t note : {static_cast<uint8_t>(root + 4), static_cast<uint8_t>(root + 7),
                             static_cast<uint8_t>(root + 12)})
            for (uint8_t b : {uint8_t{0}, uint8_t{0x80}, note, uint8_t{0}}) track.push_back(b);
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(track.size() >> (8 * i)));
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

// The effect files and the song live in a scratch "Sound" folder made current for the run.
std::filesystem::path PrepareFiles() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kelvane-audio-bench";
    std::filesystem::create_directories(dir / "Sound");
    std::filesystem::current_path(dir);
    for (int i = 0; i < 7; ++i) {
        const std::string name = std::string(WaveEffectFiles[i]).substr(6);
        const std::vector<uint8_t> bytes = WaveBytes(i % 2 ? 2 : 1, i % 3 ? 44100 : 22050, 1.0);
        std::ofstream(dir / "Sound" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    const std::vector<uint8_t> song = ChordsMidi();
    std::ofstream(dir / "Sound" / "music_1.mid", std::ios::binary)
        .write(reinterpret_cast<const char*>(song.data()), song.size());
    return dir;
}

void MixerCostPerAudioSecond(benchmark::State& state) {
    PrepareFiles();
    AudioMixer mixer;
    mixer.OpenOffline();
    WaveEffects effects;
    effects.Init(&mixer);
    for (const char* file : WaveEffectFiles) effects.Load(file);
    effects.Load(WaveEffectFiles[0]);                 // an eighth effect
    for (int n = 1; n <= 8; ++n) effects.Play(n, 1);  // all looping, so all eight sound throughout
    MusicPlayer music;
    const bool withMusic = music.InitMusic(&mixer) && music.LoadTrack("Sound\\music_1.mid") &&
                           music.PlayTrack("Sound\\music_1.mid", 100) && music.Synth().HasSoundFont();
    std::vector<int16_t> block(512 * 2);
    const std::clock_t cpuStart = std::clock();
    for (auto _ : state) {
        for (int done = 0; done < MixRate; done += 512)
            mixer.MixBlock(block.data(), 512);  // as the device callback does
        benchmark::DoNotOptimize(block.data());
    }
    // Each iteration is one second of audio, so CPU seconds per iteration x 100 is the share of a core.
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    state.counters["percent_of_core"] = 100.0 * cpuSeconds / static_cast<double>(state.iterations());
    state.SetLabel(withMusic ? "8 effects + MIDI music" : "8 effects, NO soundfont: music not rendered");
    music.ReleaseMusic();
    effects.Release();
}
BENCHMARK(MixerCostPerAudioSecond)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void EffectLatencyOnDevice(benchmark::State& state) {
    PrepareFiles();
    if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
    AudioMixer mixer;
    const int blockFrames = static_cast<int>(state.range(0));
    if (!mixer.Open(nullptr, blockFrames)) {
        state.SkipWithError("no audio device, not even the dummy driver");
        return;
    }
    InitWaveEffects(&mixer);
    LoadWaveEffect(WaveEffectFiles[0]);
    WaveEffects& effects = GameWaveEffects();
    double worst = 0, sum = 0;
    int64_t count = 0;
    for (auto _ : state) {
        effects.Stop(1);
        // Play at a random point of the device's block cycle.
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + (count * 3371) % 9000));
        const auto start = std::chrono::steady_clock::now();
        if (!PlayWaveEffect(1, 0)) {
            state.SkipWithError("effect did not play");
            break;
        }
        while (effects.Position(1) == 0) std::this_thread::yield();
        const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // The block that carries the first sample then takes one block's time to leave the device.
        const double latency = waited + static_cast<double>(blockFrames) / MixRate;
        state.SetIterationTime(latency);
        worst = std::max(worst, latency);
        sum += latency;
        ++count;
    }
    state.counters["mean_ms"] = count ? 1000 * sum / count : 0;
    state.counters["worst_ms"] = 1000 * worst;
    state.SetLabel(mixer.DriverName() + " driver, " + std::to_string(blockFrames) + "-frame blocks");
    ReleaseWaveEffects();
    mixer.Close();
}
BENCHMARK(EffectLatencyOnDevice)
    ->Arg(256)
    ->Arg(512)
    ->Arg(1024)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

}  // namespace
