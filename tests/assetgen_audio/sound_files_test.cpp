// The generated effects and menu sounds, read back from the files the generator writes: the wave
// files as the game's loader sees them, the Ogg files through the decoder the sound bank uses.
#include <gtest/gtest.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "audio_assets.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

struct WaveCheck {
    std::string error;  // empty when the file is a plain 16-bit mono 44100 Hz PCM wave
    std::vector<int16_t> samples;
};

// Walks the file chunk by chunk as a loader would: RIFF/WAVE, then "fmt " before "data".
WaveCheck ReadPcmWave(const std::vector<uint8_t>& file) {
    WaveCheck result;
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
        result.error = "not RIFF/WAVE";
        return result;
    }
    if (Le32(file.data() + 4) != file.size() - 8) {
        result.error = "RIFF size does not match the file";
        return result;
    }
    size_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= file.size()) {
        uint32_t size = Le32(file.data() + at + 4);
        const uint8_t* body = file.data() + at + 8;
        if (at + 8 + size > file.size()) {
            result.error = "chunk runs past the end";
            return result;
        }
        if (std::memcmp(file.data() + at, "fmt ", 4) == 0) {
            if (size != 16)
                result.error = "fmt chunk is not 16 bytes";
            else if (Le16(body) != 1)
                result.error = "not PCM";
            else if (Le16(body + 2) != 1)
                result.error = "not mono";
            else if (Le32(body + 4) != 44100)
                result.error = "not 44100 Hz";
            else if (Le32(body + 8) != 88200 || Le16(body + 12) != 2)
                result.error = "rate or alignment wrong";
            else if (Le16(body + 14) != 16)
                result.error = "not 16-bit";
            if (!result.error.empty()) return result;
            haveFormat = true;
        } else if (std::memcmp(file.data() + at, "data", 4) == 0) {
            if (!haveFormat) {
                result.error = "data before fmt";
                return result;
            }
            if (size % 2 != 0 || at + 8 + size != file.size()) {
                result.error = "data size does not match the file";
                return result;
            }
            result.samples.resize(size / 2);
            for (size_t i = 0; i < result.samples.size(); ++i)
                result.samples[i] = static_cast<int16_t>(Le16(body + 2 * i));
            return result;
        }
        at += 8 + size + (size & 1);
    }
    result.error = "no data chunk";
    return result;
}

int PcmPeak(const std::vector<int16_t>& samples) {
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

double RmsOf(const std::vector<int16_t>& samples, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, samples.size());
    if (to <= from) return 0;
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

// Decodes a whole Ogg Vorbis file to 16-bit samples; false when libvorbisfile refuses it.
bool DecodeOgg(const std::filesystem::path& path, std::vector<int16_t>& samples, long& rate, int& channels) {
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) return false;
    vorbis_info* info = ov_info(&file, -1);
    rate = info->rate;
    channels = info->channels;
    char buffer[4096];
    int section = 0;
    long got = 0;
    while ((got = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &section)) > 0) {
        for (long i = 0; i + 1 < got; i += 2)
            samples.push_back(static_cast<int16_t>(Le16(reinterpret_cast<uint8_t*>(buffer) + i)));
    }
    ov_clear(&file);
    return got == 0;
}

class GeneratedSoundFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::filesystem::temp_directory_path() / ("kelvane-sounds-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        effectsWritten = WriteGameEffects(dir.string());
        widgetsWritten = WriteWidgetSounds(dir.string());
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir); }
    static inline std::filesystem::path dir;
    static inline bool effectsWritten = false, widgetsWritten = false;
};

struct EffectRange {
    const char* file;
    double minSeconds, maxSeconds;
};
// The landing plays hundreds of times a game: it must stay short.
const EffectRange EffectRanges[] = {
    {"action.wav", 0.1, 1.5}, {"fill.wav", 0.1, 1.5},     {"fall.wav", 0.1, 0.25}, {"gameover.wav", 0.1, 2.0},
    {"bonus.wav", 0.1, 1.5},  {"getbonus.wav", 0.1, 1.5}, {"level.wav", 0.1, 1.5},
};

TEST_F(GeneratedSoundFiles, EffectsArePlainPcmWavesOfTheRightLengthAndLevel) {
    ASSERT_TRUE(effectsWritten);
    for (const EffectRange& range : EffectRanges) {
        SCOPED_TRACE(range.file);
        WaveCheck wave = ReadPcmWave(ReadBytes(dir / range.file));
        ASSERT_EQ(wave.error, "");
        double seconds = wave.samples.size() / 44100.0;
        EXPECT_GE(seconds, range.minSeconds);
        EXPECT_LE(seconds, range.maxSeconds);
        // Peak below -1 dBFS (29204), and loud enough to be heard (above -20 dBFS).
        int peak = PcmPeak(wave.samples);
        EXPECT_LT(peak, 29204);
        EXPECT_GT(peak, 3277);
        EXPECT_GT(RmsOf(wave.samples), 300.0);
        // No click at either end: the first and last samples sit at (or next to) zero.
        EXPECT_LE(std::abs(int(wave.samples.front())), 64);
        EXPECT_LE(std::abs(int(wave.samples.back())), 64);
    }
}

TEST_F(GeneratedSoundFiles, LandingIsTheSoftestEffect) {
    int landing = PcmPeak(ReadPcmWave(ReadBytes(dir / "fall.wav")).samples);
    for (const EffectRange& range : EffectRanges) {
        if (std::string(range.file) == "fall.wav") continue;
        EXPECT_LT(landing, PcmPeak(ReadPcmWave(ReadBytes(dir / range.file)).samples)) << range.file;
    }
}

// What a sound holds above 12 kHz: a linear-phase high-pass (511-tap windowed sinc, Kaiser beta 10,
// better than 90 dB down below 11.5 kHz) over the samples, with silence before and after them as
// the player hears it. Returns the filtered signal's peak in dBFS.
double HighBandPeakDb(const std::vector<double>& samples) {
    constexpr int Taps = 511, Middle = Taps / 2;
    constexpr double Cutoff = 12000.0 / 44100.0, Beta = 10.0;
    static const std::vector<double> kernel = [] {
        std::vector<double> h(Taps);
        for (int n = 0; n < Taps; ++n) {
            const double k = n - Middle;
            const double lowPass = k == 0 ? 2 * Cutoff : std::sin(2 * M_PI * Cutoff * k) / (M_PI * k);
            const double r = k / Middle;
            const double window =
                std::cyl_bessel_i(0.0, Beta * std::sqrt(1 - r * r)) / std::cyl_bessel_i(0.0, Beta);
            h[size_t(n)] = (k == 0 ? 1.0 : 0.0) - lowPass * window;
        }
        return h;
    }();
    double peak = 0;
    const long count = long(samples.size());
    for (long i = -Middle; i < count + Middle; ++i) {
        double y = 0;
        for (int n = 0; n < Taps; ++n) {
            const long at = i + Middle - n;
            if (at >= 0 && at < count) y += kernel[size_t(n)] * samples[size_t(at)];
        }
        peak = std::max(peak, std::fabs(y));
    }
    return 20 * std::log10(std::max(peak, 1e-12));
}

std::vector<double> ToUnit(const std::vector<int16_t>& pcm) {
    std::vector<double> out(pcm.size());
    for (size_t i = 0; i < pcm.size(); ++i) out[i] = pcm[i] / 32768.0;
    return out;
}

// A note whose decay still sounds when its length runs out must not stop on a step: the step is a
// tick across the whole spectrum. Each voice here plays only partials far below 12 kHz, so anything
// found above 12 kHz comes from how it starts and ends.
TEST(SoundSynth, NotesEndOnSilenceWithoutATick) {
    struct Case {
        const char* what;
        std::function<void(SampleBuffer&)> add;
    };
    const Case cases[] = {
        {"tone cut in full sound",
         [](SampleBuffer& s) {
             AddTone(s, {.start = 0.02,
                         .length = 0.2,
                         .hertz = 440,
                         .gain = 0.5,
                         .tau = 10,
                         .partials = {{1, 1, 1}, {2, 0.5, 1}, {3, 0.3, 1}}});
         }},
        {"very short tone",
         [](SampleBuffer& s) {
             AddTone(s, {.start = 0.02, .length = 0.012, .hertz = 600, .gain = 0.5, .tau = 1});
         }},
        {"FM bell cut while ringing",
         [](SampleBuffer& s) {
             AddFm(s, {.start = 0.02,
                       .length = 0.3,
                       .hertz = 523,
                       .gain = 0.5,
                       .tau = 2,
                       .ratio = 1,
                       .index = 0.8,
                       .indexEnd = 0.5});
         }},
    };
    for (const Case& c : cases) {
        SampleBuffer s = MakeBuffer(0.4);
        c.add(s);
        NormalizePeak(s, -3.0);
        const double tickDb = HighBandPeakDb(s);
        std::printf("%-28s above 12 kHz: %.1f dBFS\n", c.what, tickDb);
        EXPECT_LT(tickDb, -70.0) << c.what;
    }
}

// The effects as written, where a tick of a note's end would show: the ones whose notes all lie
// below 12 kHz must hold nothing there but the 16-bit floor. The others carry bright noise or FM
// overtones on purpose; their figures are shown for the record.
TEST_F(GeneratedSoundFiles, EffectsHoldNoTicksAboveTwelveKilohertz) {
    ASSERT_TRUE(effectsWritten);
    const std::pair<const char*, bool> effects[] = {
        {"action.wav", true}, {"gameover.wav", true}, {"level.wav", true},     {"fall.wav", false},
        {"fill.wav", false},  {"bonus.wav", false},   {"getbonus.wav", false},
    };
    for (const auto& [file, belowTwelve] : effects) {
        SCOPED_TRACE(file);
        const WaveCheck wave = ReadPcmWave(ReadBytes(dir / file));
        ASSERT_EQ(wave.error, "");
        const double highDb = HighBandPeakDb(ToUnit(wave.samples));
        std::printf("%-14s above 12 kHz: %.1f dBFS%s\n", file, highDb,
                    belowTwelve ? "" : " (bright by design)");
        if (belowTwelve) {
            EXPECT_LT(highDb, -70.0);
        }
    }
}

// Normalised correlation of the two sounds' spectral outlines (energy per band over the whole
// sound): two effects that a player could mistake for each other come out close to 1.
std::vector<double> BandProfile(const SampleBuffer& samples) {
    std::vector<double> bands;
    for (double hertz = 150; hertz < 12000; hertz *= 1.5) {
        Biquad band(Biquad::Kind::BandPass, hertz, 2.0);
        double energy = 0;
        for (double s : samples) {
            double y = band.Process(s);
            energy += y * y;
        }
        bands.push_back(std::sqrt(energy));
    }
    return bands;
}

TEST(GameEffects, AreDistinctFromEachOther) {
    std::vector<GeneratedSound> effects = RenderGameEffects();
    ASSERT_EQ(effects.size(), 7u);
    std::vector<std::vector<double>> profiles;
    for (const GeneratedSound& effect : effects) profiles.push_back(BandProfile(effect.samples));
    for (size_t a = 0; a < effects.size(); ++a) {
        for (size_t b = a + 1; b < effects.size(); ++b) {
            double dot = 0, na = 0, nb = 0;
            for (size_t k = 0; k < profiles[a].size(); ++k) {
                dot += profiles[a][k] * profiles[b][k];
                na += profiles[a][k] * profiles[a][k];
                nb += profiles[b][k] * profiles[b][k];
            }
            double lengthRatio = double(effects[a].samples.size()) / double(effects[b].samples.size());
            bool sameLength = lengthRatio > 0.9 && lengthRatio < 1.1;
            EXPECT_FALSE(sameLength && dot / std::sqrt(na * nb) > 0.97)
                << effects[a].fileName << " and " << effects[b].fileName << " sound alike";
        }
    }
}

TEST_F(GeneratedSoundFiles, MenuSoundsDecodeToShortAudibleMonoOgg) {
    ASSERT_TRUE(widgetsWritten);
    std::map<std::string, std::vector<int16_t>> decoded;
    for (const char* name : {"over.ogg", "click.ogg", "type_1.ogg", "type_2.ogg", "type_3.ogg"}) {
        SCOPED_TRACE(name);
        std::vector<int16_t> samples;
        long rate = 0;
        int channels = 0;
        ASSERT_TRUE(DecodeOgg(dir / name, samples, rate, channels));
        EXPECT_EQ(rate, 44100);
        EXPECT_EQ(channels, 1);
        EXPECT_GT(samples.size(), 44100u * 3 / 100);  // at least 30 ms
        EXPECT_LT(samples.size(), 44100u / 4);        // a widget sound is a blip, not a phrase
        EXPECT_GT(PcmPeak(samples), 1000);
        EXPECT_LT(PcmPeak(samples), 32000);
        decoded[name] = samples;
    }
    // The pointer's tick is gentler than the click it leads up to.
    EXPECT_LT(RmsOf(decoded["over.ogg"]), RmsOf(decoded["click.ogg"]));
    // The three typing clicks are variations, not copies.
    EXPECT_NE(decoded["type_1.ogg"], decoded["type_2.ogg"]);
    EXPECT_NE(decoded["type_2.ogg"], decoded["type_3.ogg"]);
    EXPECT_NE(decoded["type_1.ogg"], decoded["type_3.ogg"]);
}

TEST_F(GeneratedSoundFiles, WritingAgainGivesTheSameBytes) {
    std::filesystem::path again = dir / "again";
    std::filesystem::create_directories(again);
    ASSERT_TRUE(WriteGameEffects(again.string()));
    ASSERT_TRUE(WriteWidgetSounds(again.string()));
    for (const auto& entry : std::filesystem::directory_iterator(again)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::vector<uint8_t> first = ReadBytes(dir / entry.path().filename());
        EXPECT_FALSE(first.empty());
        EXPECT_EQ(first, ReadBytes(entry.path()));
    }
}

TEST(SoundSynth, FadesEndOnSilenceAndNormalisingHitsThePeak) {
    SampleBuffer tone = MakeBuffer(0.1);
    AddTone(tone, {.start = 0, .length = 0.1, .hertz = 440, .gain = 3.0, .attack = 0, .tau = 10});
    NormalizePeak(tone, -6.0);
    EXPECT_NEAR(::PeakOf(tone), std::pow(10.0, -6.0 / 20), 1e-9);
    FadeEnds(tone, 0.01, 0.02);
    EXPECT_EQ(tone.front(), 0.0);
    EXPECT_NEAR(tone.back(), 0.0, 1e-12);
    // The middle is untouched by the fades.
    EXPECT_NEAR(::PeakOf(SampleBuffer(tone.begin() + 1000, tone.begin() + 3000)), std::pow(10.0, -6.0 / 20),
                0.01);

    SampleBuffer silence = MakeBuffer(0.05);
    NormalizePeak(silence, -3.0);
    EXPECT_EQ(::PeakOf(silence), 0.0);
}

TEST(SoundSynth, PcmRoundsAndClampsAtFullScale) {
    std::vector<int16_t> pcm = ToPcm16({0.0, 0.5, -0.5, 1.5, -1.5, 1.0 / 32767});
    EXPECT_EQ(pcm, (std::vector<int16_t>{0, 16384, -16384, 32767, -32768, 1}));
}

TEST(SoundSynth, FiltersPassTheirBandAndStopTheRest) {
    auto gainAt = [](Biquad::Kind kind, double cutoff, double hertz) {
        Biquad filter(kind, cutoff, 0.707);
        double peak = 0;
        for (int i = 0; i < SynthRate / 2; ++i) {
            double y = filter.Process(std::sin(2 * M_PI * hertz * i / SynthRate));
            if (i > SynthRate / 4) peak = std::max(peak, std::fabs(y));
        }
        return peak;
    };
    EXPECT_NEAR(gainAt(Biquad::Kind::LowPass, 1000, 100), 1.0, 0.05);
    EXPECT_LT(gainAt(Biquad::Kind::LowPass, 1000, 8000), 0.03);
    EXPECT_NEAR(gainAt(Biquad::Kind::HighPass, 1000, 8000), 1.0, 0.05);
    EXPECT_LT(gainAt(Biquad::Kind::HighPass, 1000, 100), 0.03);
    EXPECT_GT(gainAt(Biquad::Kind::BandPass, 1000, 1000), 0.9);
    EXPECT_LT(gainAt(Biquad::Kind::BandPass, 1000, 10000), 0.2);
}

}  // namespace
