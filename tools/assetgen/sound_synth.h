// The sound side of the asset generator: a small offline synthesiser for the game's effects and
// widget sounds, and the writers of its two file formats. Everything renders into mono double
// buffers at 44100 Hz; only the final step rounds to 16-bit PCM. Every random choice comes from
// SynthRandom with a fixed seed, so the same program writes the same bytes on every build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int SynthRate = 44100;

using SampleBuffer = std::vector<double>;

// A small deterministic generator (xorshift32); the seed picks the sequence.
class SynthRandom {
public:
    explicit SynthRandom(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    uint32_t Next();
    double Uniform();           // [0, 1)
    double Bipolar();           // [-1, 1)
    int Range(int lo, int hi);  // [lo, hi]

private:
    uint32_t state;
};

// RBJ biquad filters (transposed direct form II); coefficients can be changed between samples for
// sweeps without resetting the state.
class Biquad {
public:
    enum class Kind { LowPass, HighPass, BandPass };
    Biquad(Kind kind, double hertz, double q) : kind(kind) { Tune(hertz, q); }
    void Tune(double hertz, double q);
    double Process(double x);

private:
    Kind kind;
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;
};

// Loudness shapes, all 0..1. A raised-cosine attack (no click at the onset) into an exponential
// decay with time constant tau.
double AttackDecay(double t, double attack, double tau);
// Attack, hold at 1 until length, then a raised-cosine release; 0 outside.
double AttackRelease(double t, double attack, double length, double release);

double MidiToHertz(double note);
double DecibelsToGain(double db);

// One partial of an additive voice: frequency ratio to the fundamental, gain, and how much faster
// than the voice's own decay it dies away (1 = same, 2 = twice as fast).
struct Partial {
    double ratio = 1;
    double gain = 1;
    double decayScale = 1;
};

// Every voice below sounds for its length and closes with a short release of its own, so it ends on
// silence however much of its decay is left.
//
// An additive note: sum of partials under AttackDecay(attack, tau), with optional vibrato (depth in
// semitones at rateHz) and a pitch glide of glideSemitones over the note's first glideSeconds.
struct ToneVoice {
    double start = 0, length = 0.3;
    double hertz = 440;
    double gain = 0.5;
    double attack = 0.004, tau = 0.15;
    double vibratoDepth = 0, vibratoRate = 5.5;
    double glideSemitones = 0, glideSeconds = 0;
    std::vector<Partial> partials{{1, 1, 1}};
};
void AddTone(SampleBuffer& out, const ToneVoice& tone);

// A two-operator FM note: the modulator at ratio x carrier, its index falling from index to
// index * indexEnd over the note (bright strike, mellow tail), under AttackDecay(attack, tau).
struct FmVoice {
    double start = 0, length = 0.3;
    double hertz = 440;
    double gain = 0.5;
    double attack = 0.003, tau = 0.2;
    double ratio = 2, index = 2, indexEnd = 0.3;
};
void AddFm(SampleBuffer& out, const FmVoice& fm);

// Filtered noise under AttackDecay, the band-pass centre moving exponentially from fromHz to toHz.
struct NoiseVoice {
    double start = 0, length = 0.1;
    double gain = 0.3;
    double attack = 0.001, tau = 0.03;
    double fromHz = 2000, toHz = 2000, q = 1.0;
    uint32_t seed = 1;
};
void AddNoise(SampleBuffer& out, const NoiseVoice& noise);

// A small mono room (four combs into two all-passes) mixed in at wet; the buffer grows by tail
// seconds so the echo dies out inside the file.
void AddRoom(SampleBuffer& buffer, double wet, double tail, double roomSize = 0.5);

SampleBuffer MakeBuffer(double seconds);
double PeakOf(const SampleBuffer& buffer);
// Scales the buffer so its peak sits at peakDb (dBFS, negative). A silent buffer stays silent.
void NormalizePeak(SampleBuffer& buffer, double peakDb);
// Raised-cosine fade-in and fade-out at both ends, so a file never starts or stops on a step.
void FadeEnds(SampleBuffer& buffer, double fadeIn, double fadeOut);
// Rounds to 16-bit, clamping at full scale.
std::vector<int16_t> ToPcm16(const SampleBuffer& buffer);

// The 16-bit mono 44100 Hz PCM wave file: "RIFF" / "WAVE", a 16-byte "fmt " chunk, then "data".
std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& samples);
// Ogg Vorbis at a VBR quality (-0.1 .. 1) with a fixed stream serial number; empty on failure.
std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& samples, float quality, int serial);

// Writes bytes to path (a native path), replacing the file; false on any failure.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
