// The five music tracks, read back with the tests' own MIDI reader and rendered through the game's
// MIDI synth: valid files with melody, harmony, bass and drums, the right length, sections that
// come back, no hanging notes, and real sound out of the General MIDI soundfont.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "audio/music_player.h"
#include "audio_assets.h"
#include "audio_out/midi_synth.h"
#include "audio_test_support.h"
#include "midi_reader.h"

namespace {

const std::vector<std::pair<std::string, std::vector<uint8_t>>>& Tracks() {
    static const auto tracks = ComposeMusicTracks();
    return tracks;
}

struct ChannelNotes {
    std::vector<MidiReadEvent> ons;
    int program = -1;
};

std::map<int, ChannelNotes> NotesByChannel(const MidiReadFile& file) {
    std::map<int, ChannelNotes> channels;
    for (const auto& track : file.tracks) {
        for (const MidiReadEvent& e : track) {
            if ((e.status & 0xF0) == 0xC0) channels[e.Channel()].program = e.data1;
            if (e.IsNoteOn()) channels[e.Channel()].ons.push_back(e);
        }
    }
    return channels;
}

double MeanPitch(const std::vector<MidiReadEvent>& ons) {
    double sum = 0;
    for (const MidiReadEvent& e : ons) sum += e.data1;
    return ons.empty() ? 0 : sum / double(ons.size());
}

TEST(MusicTracks, AreFiveFormat1FilesInTheGameOrder) {
    ASSERT_EQ(Tracks().size(), 5u);
    for (int i = 0; i < 5; ++i) {
        const auto& [name, bytes] = Tracks()[size_t(i)];
        SCOPED_TRACE(name);
        EXPECT_EQ(name, "music_" + std::to_string(i + 1) + ".mid");
        MidiReadFile file = ReadMidi(bytes);
        ASSERT_EQ(file.error, "");
        EXPECT_EQ(file.format, 1);
        EXPECT_GE(file.declaredTracks, 5);
        EXPECT_EQ(int(file.tracks.size()), file.declaredTracks);
        EXPECT_TRUE(file.endsWithEndOfTrack);
        EXPECT_GT(file.division, 0);
        EXPECT_LT(file.division, 0x8000);  // ticks per beat, not frame timing
        // The game's own parser agrees.
        MidiFileInfo info = ParseMidiFile(bytes.data(), bytes.size());
        EXPECT_TRUE(info.valid) << info.error;
        EXPECT_EQ(info.totalTicks, file.LastTick());
    }
}

TEST(MusicTracks, HaveMelodyHarmonyBassAndDrums) {
    for (const auto& [name, bytes] : Tracks()) {
        SCOPED_TRACE(name);
        MidiReadFile file = ReadMidi(bytes);
        std::map<int, ChannelNotes> channels = NotesByChannel(file);
        ASSERT_TRUE(channels.count(0) && channels.count(1) && channels.count(2) && channels.count(9));
        const ChannelNotes& melody = channels[0];
        const ChannelNotes& harmony = channels[1];
        const ChannelNotes& bass = channels[2];
        const ChannelNotes& drums = channels[9];
        EXPECT_GE(melody.ons.size(), 80u);
        EXPECT_GE(bass.ons.size(), 60u);
        EXPECT_GE(drums.ons.size(), 200u);
        // Melodic channels name their General MIDI instrument; the bass is a bass (or a tuba).
        EXPECT_GE(melody.program, 0);
        EXPECT_GE(harmony.program, 0);
        EXPECT_TRUE((bass.program >= 32 && bass.program <= 39) || bass.program == 58) << bass.program;
        // Registers: the melody sings well above the bass, the bass sits low.
        EXPECT_GT(MeanPitch(melody.ons), MeanPitch(bass.ons) + 18)
            << MeanPitch(melody.ons) << " " << MeanPitch(bass.ons);
        EXPECT_LT(MeanPitch(bass.ons), 55);
        // Drums are kit sounds, with a kick and a snare or stick among them.
        std::set<int> kit;
        for (const MidiReadEvent& e : drums.ons) kit.insert(e.data1);
        EXPECT_TRUE(kit.count(35) || kit.count(36));
        EXPECT_GE(kit.size(), 3u);
        for (int key : kit) EXPECT_TRUE(key >= 35 && key <= 81) << key;
        // The harmony plays chords: three or more notes struck together, many times.
        std::map<uint32_t, int> strikes;
        for (const MidiReadEvent& e : harmony.ons) ++strikes[e.tick];
        int chords = 0;
        for (const auto& [tick, count] : strikes) chords += count >= 3;
        EXPECT_GE(chords, 20);
    }
}

TEST(MusicTracks, LastBetweenOneAndAHalfAndThreeMinutesAtDifferentTempos) {
    std::set<int> tempos;
    for (const auto& [name, bytes] : Tracks()) {
        SCOPED_TRACE(name);
        MidiReadFile file = ReadMidi(bytes);
        double seconds = file.Seconds(file.LastTick());
        EXPECT_GE(seconds, 90.0);
        EXPECT_LE(seconds, 180.0);
        // The first tempo sits at tick 0 of the first track.
        bool tempoAtStart = false;
        for (const MidiReadEvent& e : file.tracks[0]) {
            if (e.status == 0xFF && e.metaType == 0x51 && e.tick == 0) {
                tempoAtStart = true;
                tempos.insert(
                    int(std::lround(60e6 / ((e.metaData[0] << 16) | (e.metaData[1] << 8) | e.metaData[2]))));
            }
        }
        EXPECT_TRUE(tempoAtStart);
    }
    ASSERT_EQ(tempos.size(), 5u);
    EXPECT_GE(*tempos.rbegin() - *tempos.begin(), 50);  // from slow and calm to fast and driving
}

TEST(MusicTracks, EveryNoteEndsAndNoneRestartsWhileSounding) {
    for (const auto& [name, bytes] : Tracks()) {
        SCOPED_TRACE(name);
        MidiReadFile file = ReadMidi(bytes);
        for (const auto& track : file.tracks) {
            std::map<int, int> sounding;  // channel * 128 + key -> count
            for (const MidiReadEvent& e : track) {
                int key = e.Channel() * 128 + e.data1;
                if (e.IsNoteOn()) {
                    EXPECT_EQ(sounding[key], 0)
                        << "key " << int(e.data1) << " struck again at tick " << e.tick;
                    ++sounding[key];
                } else if (e.IsNoteOff()) {
                    EXPECT_EQ(sounding[key], 1) << "release without a note at tick " << e.tick;
                    sounding[key] = 0;
                }
            }
            for (const auto& [key, count] : sounding) EXPECT_EQ(count, 0) << "key " << key % 128 << " hangs";
        }
    }
}

// The melody's notes bar by bar (pitch sequences, one per bar of 4 beats).
std::vector<std::vector<int>> MelodyBars(const MidiReadFile& file) {
    std::vector<std::vector<int>> bars;
    uint32_t barTicks = uint32_t(file.division) * 4;
    std::map<int, ChannelNotes> channels = NotesByChannel(file);
    for (const MidiReadEvent& e : channels[0].ons) {
        size_t bar = e.tick / barTicks;
        if (bars.size() <= bar) bars.resize(bar + 1);
        bars[bar].push_back(e.data1);
    }
    return bars;
}

TEST(MusicTracks, ThemesReturnAndVary) {
    for (const auto& [name, bytes] : Tracks()) {
        SCOPED_TRACE(name);
        std::vector<std::vector<int>> bars = MelodyBars(ReadMidi(bytes));
        // The first phrase of the tune (four bars from the first bar with a melody) comes back later.
        size_t first = 0;
        while (first < bars.size() && bars[first].empty()) ++first;
        ASSERT_LT(first + 4, bars.size());
        std::vector<std::vector<int>> phrase(bars.begin() + long(first), bars.begin() + long(first) + 3);
        int returns = 0;
        for (size_t b = first + 4; b + 3 <= bars.size(); ++b)
            returns += std::equal(phrase.begin(), phrase.end(), bars.begin() + long(b));
        EXPECT_GE(returns, 1);
        // ... but the song is not one loop: many different bars of melody.
        std::set<std::vector<int>> distinct(bars.begin(), bars.end());
        EXPECT_GE(distinct.size(), 12u);
        // Silent bars (intro, bridge on the counter voice) exist but do not dominate.
        size_t silent = 0;
        for (const auto& bar : bars) silent += bar.empty();
        EXPECT_LT(silent * 3, bars.size());
    }
}

TEST(MusicTracks, ComposingAgainGivesTheSameBytes) {
    auto again = ComposeMusicTracks();
    ASSERT_EQ(again.size(), Tracks().size());
    for (size_t i = 0; i < again.size(); ++i)
        EXPECT_EQ(again[i].second, Tracks()[i].second) << again[i].first;

    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kelvane-music-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(WriteMusicTracks(dir.string()));
    for (const auto& [name, bytes] : Tracks()) {
        std::ifstream in(dir / name, std::ios::binary);
        std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(written, bytes) << name;
    }
    std::filesystem::remove_all(dir);
}

// Every track rendered whole through the game's own music path (the music player, its synth and the
// mixer's 16-bit output) with each General MIDI soundfont this machine has: none clips, all five
// sound equally loud a few dB under the effects, and the music runs without long gaps. The packaged
// soundfont is always there (the setup installs it); the others are measured when installed.
struct TrackFigures {
    double seconds = 0, rmsDb = -200, peakDb = -200;
    long clipped = 0, loudBlocks = 0, blocks = 0;
};

TrackFigures RenderTrack(MusicPlayer& player, AudioMixer& mixer, const std::string& file) {
    TrackFigures figures;
    EXPECT_TRUE(player.PlayTrack(file, 0));
    constexpr int Block = 4096;
    std::vector<int16_t> mix(Block * 2);
    double sum = 0;
    int peak = 0;
    long frames = 0, tail = 0;
    while (tail < MixRate && frames < 400L * MixRate) {
        mixer.Render(mix.data(), Block);
        double blockSum = 0;
        for (int16_t v : mix) {
            const int a = std::abs(int(v));
            peak = std::max(peak, a);
            figures.clipped += a >= 32767;
            blockSum += double(v) * v;
        }
        if (player.IsMusicPlaying()) {
            sum += blockSum;
            frames += Block;
            figures.loudBlocks += blockSum / (Block * 2) > 1e-5 * 32768.0 * 32768.0;  // above -50 dBFS
            ++figures.blocks;
        } else {
            tail += Block;
        }
    }
    figures.seconds = double(frames) / MixRate;
    figures.rmsDb = 10 * std::log10(sum / (double(frames) * 2) / (32768.0 * 32768.0));
    figures.peakDb = 20 * std::log10(peak / 32768.0);
    return figures;
}

double EffectsRmsDb() {
    double sumDb = 0;
    const std::vector<GeneratedSound> effects = RenderGameEffects();
    for (const GeneratedSound& effect : effects) {
        double sum = 0;
        for (double v : effect.samples) sum += v * v;
        sumDb += 10 * std::log10(sum / double(effect.samples.size()));
    }
    return sumDb / double(effects.size());
}

class MusicLoudness : public ::testing::TestWithParam<const char*> {};

TEST_P(MusicLoudness, TracksNeverClipAndSoundEquallyLoudUnderTheEffects) {
    namespace fs = std::filesystem;
    const std::string soundFont = GetParam();
    const bool packaged = soundFont == PackagedSoundFont;
    if (!fs::exists(soundFont)) {
        ASSERT_FALSE(packaged) << "the packaged soundfont is missing: scripts/setup installs it";
        GTEST_SKIP() << soundFont << " is not installed";
    }
    const std::string name = fs::canonical(soundFont).filename().string();
    const bool known = name == "TimGM6mb.sf2" || name == "FluidR3_GM.sf2";
    if (soundFont == SystemSoundFontLink && known)
        GTEST_SKIP() << "the system link names " << name << ", measured on its own";
    ScratchDirectory scratch;
    ASSERT_TRUE(WriteMusicTracks((scratch.Path() / "Sound").string()));
    AudioMixer mixer;
    mixer.OpenOffline();
    MusicPlayer player;
    ASSERT_TRUE(player.InitMusic(&mixer, soundFont));
    ASSERT_TRUE(player.Synth().HasSoundFont());
    for (const char* file : MusicTrackFiles) ASSERT_TRUE(player.LoadTrack(file));
    const double effectsDb = EffectsRmsDb();
    double sumDb = 0, quietest = 0, loudest = -200;
    for (const char* file : MusicTrackFiles) {
        SCOPED_TRACE(file);
        const TrackFigures t = RenderTrack(player, mixer, file);
        std::printf("%s %s: %.1f s, rms %.1f dBFS, peak %.1f dBFS, %ld samples clipped\n", name.c_str(),
                    file + 6, t.seconds, t.rmsDb, t.peakDb, t.clipped);
        EXPECT_EQ(t.clipped, 0);
        EXPECT_LT(t.peakDb, -1.0);
        EXPECT_GT(t.loudBlocks, t.blocks * 9 / 10) << "music all the way, no long gaps";
        sumDb += t.rmsDb;
        quietest = std::min(quietest, t.rmsDb);
        loudest = std::max(loudest, t.rmsDb);
    }
    const double meanDb = sumDb / GameTrackCount;
    std::printf("%s: tracks %.1f dB apart, on average %.1f dB under the effects (%.1f dBFS)\n", name.c_str(),
                loudest - quietest, effectsDb - meanDb, effectsDb);
    if (!known) return;  // another font plays at the safer of the known gains: it must not clip, no more
    EXPECT_LE(loudest - quietest, 3.0);
    EXPECT_GT(effectsDb - meanDb, 2.0);
    EXPECT_LT(effectsDb - meanDb, 8.0);
}

INSTANTIATE_TEST_SUITE_P(InstalledSoundFonts, MusicLoudness,
                         ::testing::Values(PackagedSoundFont, "/usr/share/sounds/sf2/FluidR3_GM.sf2",
                                           SystemSoundFontLink));

}  // namespace
