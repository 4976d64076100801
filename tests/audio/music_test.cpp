// The music player: the least-played choice, the frame step's music check, MIDI files checked on load,
// and a track rendered offline through the synth in the mix.
#include <gtest/gtest.h>

#include <map>

#include "audio/music_player.h"
#include "audio_test_support.h"
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

}  // namespace
