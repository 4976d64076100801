// The seven game effects on an offline mixer: numbers in load order that survive a missing file, full
// volume, restarts that cut off the running instance, effects sounding together, and no device.
#include "audio/wave_effects.h"

#include <gtest/gtest.h>

#include "audio/music_player.h"
#include "audio/sound_bank.h"
#include "audio_test_support.h"

namespace {

std::vector<int16_t> Render(AudioMixer& mixer, int frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    mixer.Render(out.data(), frames);
    return out;
}

// Effect file n holds 2000 frames of the constant n x 1000, except action.wav, a ramp.
class WaveEffectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int n = 1; n <= 7; ++n) {
            std::vector<int16_t> samples(2000, static_cast<int16_t>(n * 1000));
            if (n == 1)
                for (int i = 0; i < 2000; ++i) samples[i] = static_cast<int16_t>(i * 5);
            std::string name = WaveEffectFiles[n - 1];
            name = name.substr(name.find('\\') + 1);
            if (name != "fall.wav")
                WriteBytes(scratch.Sound(name), MakeWav(TestWaveLayout(), Pcm16(samples)));
        }
        mixer.OpenOffline();
    }
    void TearDown() override { effects.Release(); }

    ScratchDirectory scratch;
    AudioMixer mixer;
    WaveEffects effects;
};

TEST_F(WaveEffectsTest, AMissingFileKeepsItsNumberAndTheOthersPlayTheirOwn) {
    ASSERT_EQ(effects.Init(&mixer), 0);
    std::vector<bool> loaded;
    for (const char* file : WaveEffectFiles) loaded.push_back(effects.Load(file));
    EXPECT_EQ(loaded, (std::vector<bool>{true, true, false, true, true, true, true}));
    EXPECT_EQ(effects.Count(), 7);
    EXPECT_FALSE(effects.Play(3, 0));
    ASSERT_TRUE(effects.Play(4, 0));
    const std::vector<int16_t> out = Render(mixer, 2100);
    EXPECT_EQ(out[0], 4000);  // gameover.wav at full volume
    EXPECT_EQ(out[2 * 1999 + 1], 4000);
    EXPECT_EQ(out[2 * 2000], 0);  // once, not looping
    EXPECT_FALSE(effects.Play(0, 0));
    EXPECT_FALSE(effects.Play(8, 0));
    EXPECT_FALSE(effects.Stop(0));
    EXPECT_FALSE(effects.Stop(8));
}

TEST_F(WaveEffectsTest, ARestartCutsTheFirstInstanceAndOtherEffectsAddUp) {
    ASSERT_EQ(effects.Init(&mixer), 0);
    for (const char* file : WaveEffectFiles) effects.Load(file);
    ASSERT_TRUE(effects.Play(1, 0));
    Render(mixer, 300);
    ASSERT_TRUE(effects.Play(1, 0));  // from the start again, not on top of itself
    std::vector<int16_t> out = Render(mixer, 100);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(out[2 * i], i * 5);
    ASSERT_TRUE(effects.Play(2, 0));
    ASSERT_TRUE(effects.Play(6, 0));
    out = Render(mixer, 10);
    EXPECT_EQ(out[0], 500 + 2000 + 6000);
    EXPECT_TRUE(effects.Stop(6));
    out = Render(mixer, 10);
    EXPECT_EQ(out[0], 550 + 2000);
    EXPECT_EQ(effects.Position(1), 120u * 2);
}

TEST_F(WaveEffectsTest, EveryCallDoesNothingWithoutADevice) {
    AudioMixer closed;
    EXPECT_EQ(effects.Init(&closed), 1);
    EXPECT_EQ(effects.Init(nullptr), 1);
    EXPECT_FALSE(effects.Load(WaveEffectFiles[0]));
    EXPECT_EQ(effects.Count(), 0);  // no number used
    EXPECT_FALSE(effects.Play(1, 0));
    EXPECT_FALSE(effects.Stop(1));
    effects.Release();
}

TEST_F(WaveEffectsTest, TheTableHoldsAHundredEffects) {
    ASSERT_EQ(effects.Init(&mixer), 0);
    for (int i = 0; i < MaxWaveEffects; ++i) effects.Load(WaveEffectFiles[i % 7]);
    EXPECT_EQ(effects.Count(), MaxWaveEffects);
    EXPECT_FALSE(effects.Load(WaveEffectFiles[0]));
    EXPECT_EQ(effects.Count(), MaxWaveEffects);
    ASSERT_TRUE(effects.Play(100, 0));  // the 100th is file 2 (100 = 14 x 7 + 2)
    EXPECT_EQ(Render(mixer, 1)[0], 2000);
}

// The player's volume sliders reach the mix: the game's SetEffectsVolume scales every wave effect by
// the level it is given, on the sound bank's scale (VolumeToAttenuation), and SetMusicVolume the music.
TEST_F(WaveEffectsTest, TheVolumesReachTheMixedLevel) {
    ASSERT_EQ(InitWaveEffects(&mixer), 0);
    LoadGameWaveEffects();
    const float levels[] = {1.0f, 0.75f, 0.25f, 0.0f};
    std::vector<int> measured;
    for (float level : levels) {
        SetEffectsVolume(level);
        ASSERT_TRUE(PlayWaveEffect(6, 0));  // getbonus.wav: 2000 frames of 6000
        measured.push_back(Render(mixer, 10)[4]);
        StopWaveEffect(6);
    }
    for (size_t i = 0; i < std::size(levels); ++i)
        EXPECT_NEAR(measured[i], 6000 * AttenuationToGain(VolumeToAttenuation(levels[i])), 1.0) << levels[i];
    EXPECT_EQ(measured[0], 6000);
    EXPECT_LT(measured[2], measured[1]);
    EXPECT_EQ(measured[3], 0);
    // An effect loaded after the volume was set plays at that volume too.
    SetEffectsVolume(0.5f);
    ReleaseWaveEffects();
    ASSERT_EQ(InitWaveEffects(&mixer), 0);
    LoadGameWaveEffects();
    ASSERT_TRUE(PlayWaveEffect(2, 0));
    EXPECT_NEAR(Render(mixer, 1)[0], 2000 * AttenuationToGain(VolumeToAttenuation(0.5f)), 1.0);
    ReleaseWaveEffects();
    SetEffectsVolume(1.0f);

    ASSERT_TRUE(InitMusic(&mixer));
    SetMusicVolume(0.25f);
    EXPECT_EQ(mixer.MusicVolume(), VolumeToAttenuation(0.25f));
    SetMusicVolume(0.0f);
    EXPECT_EQ(mixer.MusicVolume(), AttenuationSilent);
    ReleaseMusic();
    SetMusicVolume(1.0f);
}

}  // namespace
