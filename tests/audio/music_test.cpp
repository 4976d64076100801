// The music player: the least-played choice, the frame step's music check, MIDI files checked on load,
// and a track rendered offline through the synth in the mix.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "audio/music_player.h"
#include "audio_test_support.h"
#include "base/paths.h"
#include "base/random.h"

namespace {

TEST(LeastPlayed, OnlyTheLowestCountersAreCandidates) {
    MusicPlayer player;
    std::map<int, int> chosen;
    SeedRandom(99);
    for (int run = 0; run < 200; ++run) {
        player.trackPlayCounts = {2, 1, 1, 2, 2};
        const int track = player.ChooseNextTrack();
        ++chosen[track];
        EXPECT_EQ(player.trackPlayCounts[track], 2);
    }
    EXPECT_EQ(chosen.size(), 2u);
    EXPECT_GT(chosen[1], 50);
    EXPECT_GT(chosen[2], 50);

    for (int seed = 0; seed < 20; ++seed) {
        SeedRandom(static_cast<uint32_t>(seed));
        player.trackPlayCounts = {1, 0, 1, 1, 1};
        EXPECT_EQ(player.ChooseNextTrack(), 1);
    }
}

TEST(LeastPlayed, FiveStartsArePermutationsAndTheFirstChoiceIsUniform) {
    SeedRandom(12345);
    MusicPlayer player;
    std::array<int, 5> firsts{};
    for (int run = 0; run < 5000; ++run) {
        player.trackPlayCounts = {};
        std::array<int, 5> seen{};
        const int first = player.ChooseNextTrack();
        ++firsts[first];
        ++seen[first];
        for (int i = 1; i < 5; ++i) ++seen[player.ChooseNextTrack()];
        ASSERT_EQ(seen, (std::array<int, 5>{1, 1, 1, 1, 1}));
    }
    for (int count : firsts) EXPECT_NEAR(count, 1000, 150);
}

TEST(MusicCheck, StartsAtTheFirstFrameAndRetriesEveryHalfSecond) {
    // No device: nothing ever plays, so every check that is due makes a new choice.
    MusicPlayer player;
    EXPECT_FALSE(player.InitMusic(nullptr));
    auto starts = [&] {
        int sum = 0;
        for (int count : player.trackPlayCounts) sum += count;
        return sum;
    };
    player.RunMusicCheck(0.0f, true);
    EXPECT_EQ(starts(), 1);
    player.RunMusicCheck(0.4f, true);
    EXPECT_EQ(starts(), 1);
    player.RunMusicCheck(0.51f, true);
    EXPECT_EQ(starts(), 2);
    player.RunMusicCheck(5.0f, false);  // music off: no choice made
    EXPECT_EQ(starts(), 2);
    player.PlayNextTrack(false);
    EXPECT_EQ(starts(), 2);
    EXPECT_FALSE(player.IsMusicPlaying());
    EXPECT_FALSE(player.StopMusic());
    EXPECT_FALSE(player.LoadTrack(MusicTrackFiles[0]));
}

TEST(MidiFiles, BrokenFilesAreRefused) {
    const std::vector<uint8_t> good = MakeMidi(960);
    const MidiFileInfo info = ParseMidiFile(good.data(), good.size());
    ASSERT_TRUE(info.valid) << info.error;
    EXPECT_EQ(info.totalTicks, 960u);
    EXPECT_EQ(info.division, 480);

    std::vector<std::vector<uint8_t>> broken;
    broken.push_back({});
    broken.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 10));  // cut in the header
    broken.push_back(std::vector<uint8_t>(good.begin(), good.end() - 5));     // cut in the track
    std::vector<uint8_t> noTracks = good;
    noTracks[11] = 0;
    broken.push_back(noTracks);
    std::vector<uint8_t> twoDeclared = good;
    twoDeclared[11] = 2;
    broken.push_back(twoDeclared);
    std::vector<uint8_t> hugeChunk = good;
    hugeChunk[18] = 0x7F;
    broken.push_back(hugeChunk);
    std::vector<uint8_t> smpte = good;
    smpte[12] = 0xE7;
    broken.push_back(smpte);
    std::vector<uint8_t> noStatus = good;
    noStatus[23] = 0x40;  // the first event's status byte turned into a data byte
    broken.push_back(noStatus);
    const std::string text = "MThd is how it starts but this is text";
    broken.emplace_back(text.begin(), text.end());
    for (size_t i = 0; i < broken.size(); ++i) {
        const MidiFileInfo bad = ParseMidiFile(broken[i].data(), broken[i].size());
        EXPECT_FALSE(bad.valid) << "case " << i;
        EXPECT_FALSE(bad.error.empty()) << "case " << i;
    }
}

// A half-second song with one repeat lasts a second, and it is not silent.
TEST(MidiMusic, ATrackRenderedOfflineSoundsTwiceItsLength) {
    ScratchDirectory scratch;
    if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
    WriteBytes(scratch.Sound("music_1.mid"), MakeMidi(480));
    WriteBytes(scratch.Sound("music_2.mid"), {'M', 'T', 'h', 'd', 0, 0});
    AudioMixer mixer;
    mixer.OpenOffline();
    MusicPlayer player;
    ASSERT_TRUE(player.InitMusic(&mixer));
    EXPECT_TRUE(player.Synth().HasSoundFont());
    EXPECT_TRUE(player.LoadTrack("Sound\\music_1.mid"));
    EXPECT_FALSE(player.LoadTrack("Sound\\music_2.mid"));
    EXPECT_FALSE(player.LoadTrack("Sound\\music_3.mid"));
    EXPECT_EQ(player.TrackCount(), 1);
    EXPECT_EQ(player.FindTrack("Sound\\music_1.mid"), 0);
    EXPECT_EQ(player.FindTrack("sound\\music_1.mid"), -1);
    EXPECT_FALSE(player.PlayTrack("Sound\\music_2.mid", 1));
    ASSERT_TRUE(player.PlayTrack("Sound\\music_1.mid", 1));
    std::vector<int16_t> block(2048);
    int frames = 0;
    int peak = 0;
    while (player.IsMusicPlaying() && frames < 5 * MixRate) {
        mixer.Render(block.data(), 1024);
        frames += 1024;
        peak = std::max(peak, PeakOf(block));
    }
    EXPECT_NEAR(frames, MixRate, 2048);
    EXPECT_GT(peak, 300);
    // Stopping cuts the sound at once.
    ASSERT_TRUE(player.PlayTrack("Sound\\music_1.mid", 1));
    mixer.Render(block.data(), 1024);
    EXPECT_TRUE(player.StopMusic());
    EXPECT_FALSE(player.IsMusicPlaying());
    mixer.Render(block.data(), 1024);
    mixer.Render(block.data(), 1024);
    EXPECT_LT(PeakOf(block), peak / 8);  // only the reverb's tail is left
    player.ReleaseMusic();
    EXPECT_FALSE(player.IsMusicPlaying());
}

// Stopping the music, or starting a track over one that sounds, must not click: the sound fades
// out over a few milliseconds instead of stopping on a step. The switch is made where the wave
// stands near its peak, where a cut would jump the furthest.
TEST(MidiMusic, StoppingFadesOutWithinMillisecondsWithoutAStep) {
    ScratchDirectory scratch;
    if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
    WriteBytes(scratch.Sound("music_1.mid"), MakeMidi(4800));  // one note held for five seconds
    struct Case {
        const char* what;
        bool startAnother;
    };
    for (const Case& c : {Case{"stop", false}, Case{"another track started over it", true}}) {
        SCOPED_TRACE(c.what);
        AudioMixer mixer;
        mixer.OpenOffline();
        MusicPlayer player;
        ASSERT_TRUE(player.InitMusic(&mixer));
        ASSERT_TRUE(player.LoadTrack("Sound\\music_1.mid"));
        ASSERT_TRUE(player.PlayTrack("Sound\\music_1.mid", 0));
        constexpr int Chunk = 32;
        std::vector<int16_t> chunk(Chunk * 2);
        std::vector<int> left;  // the left channel from the start
        auto render = [&](int frames) {
            for (int done = 0; done < frames; done += Chunk) {
                mixer.Render(chunk.data(), Chunk);
                for (int i = 0; i < Chunk; ++i) left.push_back(chunk[size_t(2 * i)]);
            }
        };
        auto largestStep = [&](size_t from, size_t to) {
            int step = 0;
            for (size_t i = std::max<size_t>(from, 1); i < to; ++i)
                step = std::max(step, std::abs(left[i] - left[i - 1]));
            return step;
        };
        render(MixRate / 4);
        int peak = 0;
        for (int v : left) peak = std::max(peak, std::abs(v));
        ASSERT_GT(peak, 300);
        const int playingStep = largestStep(left.size() / 2, left.size());
        while (std::abs(left.back()) < peak * 6 / 10 && left.size() < size_t(MixRate)) render(Chunk);
        const size_t switchAt = left.size();
        if (c.startAnother)
            ASSERT_TRUE(player.PlayTrack("Sound\\music_1.mid", 0));
        else
            ASSERT_TRUE(player.StopMusic());
        render(MixRate * 3 / 10);
        const size_t fadeEnd = switchAt + size_t(MixRate) * 12 / 1000;
        EXPECT_LE(largestStep(switchAt - 1, fadeEnd), playingStep + 20) << "from " << left[switchAt - 1];
        // Still sounding 2 ms after the switch: a fade, not a cut.
        int early = 0;
        for (size_t i = switchAt; i < switchAt + size_t(MixRate) * 2 / 1000; ++i)
            early = std::max(early, std::abs(left[i]));
        EXPECT_GT(early, peak / 4);
        int after = 0;
        for (size_t i = fadeEnd; i < switchAt + size_t(MixRate) * 20 / 1000; ++i)
            after = std::max(after, std::abs(left[i]));
        EXPECT_LE(after, 1) << "the old sound is gone";
        int late = 0;
        for (size_t i = switchAt + size_t(MixRate) * 50 / 1000; i < left.size(); ++i)
            late = std::max(late, std::abs(left[i]));
        if (c.startAnother)
            EXPECT_GT(late, peak / 2) << "the new track starts right after the fade";
        else
            EXPECT_LE(late, 1) << "a stop is silent, reverb and all";
        EXPECT_EQ(player.IsMusicPlaying(), c.startAnother);
    }
}

// The soundfont does not depend on which font package the system installed last: one in the game's
// own Sound folder first (a player's choice), then the packaged one, and the system's link only when
// neither is there. Each known font plays every track at its own measured gain, found through links.
TEST(SoundFontChoice, OwnFontFirstThenThePackagedOneAndEachFontAtItsOwnLevel) {
    ScratchDirectory scratch;
    namespace fs = std::filesystem;
    const fs::path fonts = scratch.Path() / "fonts";
    fs::create_directories(fonts);
    const std::string packaged = (fonts / "TimGM6mb.sf2").string();
    const std::string link = (fonts / "default-GM.sf2").string();
    const std::string own = NativePath("Sound\\mine.sf2");
    WriteBytes(fonts / "FluidR3_GM.sf2", {'R', 'I', 'F', 'F'});
    fs::create_symlink(fonts / "FluidR3_GM.sf2", link);
    struct Case {
        bool havePackaged, haveOwn;
        std::string chosen;
    };
    const Case cases[] = {
        {true, true, own}, {true, false, packaged}, {false, true, own}, {false, false, link}};
    for (const Case& c : cases) {
        if (c.havePackaged) WriteBytes(packaged, {'R', 'I', 'F', 'F'});
        if (c.haveOwn) WriteBytes(own, {'R', 'I', 'F', 'F'});
        EXPECT_EQ(ChooseSoundFont(packaged, link), c.chosen);
        fs::remove(packaged);
        fs::remove(own);
    }
    fs::remove(link);
    EXPECT_EQ(ChooseSoundFont(packaged, link), "");

    // music_3 is the one the fonts disagree on most.
    const float timGm = MusicTrackGain(PackagedSoundFont, 2);
    fs::create_symlink(fonts / "FluidR3_GM.sf2", link);
    const float fluid = MusicTrackGain(link, 2);
    EXPECT_NEAR(20 * std::log10(timGm / fluid), 9.6, 0.5);
    EXPECT_FLOAT_EQ(MusicTrackGain(own, 2), std::min(timGm, fluid)) << "an unknown font: the safer gain";
    EXPECT_FLOAT_EQ(MusicTrackGain(link, 5), DefaultSynthGain) << "not one of the game's tracks";
}

}  // namespace
