// The software mixer pulled offline: what goes into a buffer must come out of the mix unchanged at full
// volume, sum with saturation, follow volume, pan and frequency, and restart on a second play.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "audio_out/audio_mixer.h"

namespace {

WaveFormat Format(uint16_t channels, uint32_t rate, uint16_t bits) {
    WaveFormat format;
    format.formatTag = WaveFormatPcm;
    format.channels = channels;
    format.samplesPerSec = rate;
    format.bitsPerSample = bits;
    format.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.avgBytesPerSec = rate * format.blockAlign;
    return format;
}

int MonoBuffer(AudioMixer& mixer, const std::vector<int16_t>& samples, uint32_t rate = MixRate) {
    const int id = mixer.CreateBuffer(Format(1, rate, 16), static_cast<uint32_t>(samples.size() * 2), false);
    mixer.WriteBuffer(id, 0, samples.data(), static_cast<uint32_t>(samples.size() * 2));
    return id;
}

std::vector<int16_t> Render(AudioMixer& mixer, int frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    mixer.Render(out.data(), frames);
    return out;
}

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override { mixer.OpenOffline(); }
    AudioMixer mixer;
};

TEST_F(MixerTest, EffectSamplesComeOutUnchangedOnBothChannelsThenSilence) {
    std::vector<int16_t> samples;
    for (int i = 0; i < 3000; ++i) samples.push_back(static_cast<int16_t>((i * 37) % 60000 - 30000));
    const int id = MonoBuffer(mixer, samples);
    ASSERT_NE(id, 0);
    ASSERT_TRUE(mixer.Play(id, false));
    const std::vector<int16_t> out = Render(mixer, 4000);
    for (size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(out[2 * i], samples[i]) << "frame " << i;
        ASSERT_EQ(out[2 * i + 1], samples[i]) << "frame " << i;
    }
    for (size_t i = samples.size() * 2; i < out.size(); ++i) ASSERT_EQ(out[i], 0);
    EXPECT_FALSE(mixer.IsPlaying(id));
}

TEST_F(MixerTest, TwoLoudSoundsSaturateInsteadOfWrapping) {
    const int a = MonoBuffer(mixer, std::vector<int16_t>(500, 30000));
    const int b = MonoBuffer(mixer, std::vector<int16_t>(500, 30000));
    const int c = MonoBuffer(mixer, std::vector<int16_t>(500, -30000));
    const int d = MonoBuffer(mixer, std::vector<int16_t>(500, -30000));
    mixer.Play(a, false);
    mixer.Play(b, false);
    std::vector<int16_t> out = Render(mixer, 400);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[799], 32767);
    mixer.Stop(a);
    mixer.Stop(b);
    mixer.Play(c, false);
    mixer.Play(d, false);
    out = Render(mixer, 10);
    EXPECT_EQ(out[0], -32768);
    // Two quiet ones simply add.
    const int e = MonoBuffer(mixer, std::vector<int16_t>(100, 1200));
    const int f = MonoBuffer(mixer, std::vector<int16_t>(100, -200));
    mixer.Stop(c);
    mixer.Stop(d);
    mixer.Play(e, false);
    mixer.Play(f, false);
    out = Render(mixer, 10);
    EXPECT_EQ(out[0], 1000);
}

TEST_F(MixerTest, PlayingAgainAfterRewindRestartsInsteadOfLayering) {
    std::vector<int16_t> ramp;
    for (int i = 0; i < 2000; ++i) ramp.push_back(static_cast<int16_t>(i * 10));
    const int id = MonoBuffer(mixer, ramp);
    mixer.Play(id, false);
    Render(mixer, 700);
    EXPECT_EQ(mixer.Position(id), 700u * 2);
    mixer.Stop(id);
    mixer.SetPosition(id, 0);
    mixer.Play(id, false);
    const std::vector<int16_t> out = Render(mixer, 50);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(out[2 * i], ramp[i]);
}

TEST_F(MixerTest, VolumeAndPanAttenuateInHundredthsOfADecibel) {
    const int id = MonoBuffer(mixer, std::vector<int16_t>(44100, 20000));
    mixer.Play(id, true);
    mixer.SetVolume(id, -600);  // -6 dB: about half
    std::vector<int16_t> out = Render(mixer, 10);
    EXPECT_NEAR(out[0], 20000 * std::pow(10.0, -0.3), 1.5);
    EXPECT_EQ(out[0], out[1]);

    mixer.SetVolume(id, 0);
    mixer.SetPan(id, 2000);  // right: the left side drops by 20 dB
    out = Render(mixer, 10);
    EXPECT_NEAR(out[0], 2000, 1);
    EXPECT_EQ(out[1], 20000);

    mixer.SetPan(id, PanLeft);
    out = Render(mixer, 10);
    EXPECT_EQ(out[0], 20000);
    EXPECT_EQ(out[1], 0);

    mixer.SetPan(id, 0);
    mixer.SetVolume(id, AttenuationSilent);
    out = Render(mixer, 10);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    // A silent sound keeps moving, so it still ends on time.
    EXPECT_EQ(mixer.Position(id), 40u * 2);
}

TEST_F(MixerTest, TheMusicVolumeScalesTheMusicAlone) {
    // A music source that gives a steady quarter of full scale on both channels.
    class SteadyMusic : public MusicSource {
    public:
        void RenderMusic(float* stereo, int frames) override {
            for (int i = 0; i < frames * 2; ++i) stereo[i] = 0.25f;
        }
    } music;
    mixer.SetMusicSource(&music);
    const std::pair<int32_t, float> volumes[] = {
        {AttenuationFull, 1.0f}, {-600, AttenuationToGain(-600)}, {AttenuationSilent, 0.0f}, {-20000, 0.0f}};
    for (auto [attenuation, gain] : volumes) {
        mixer.SetMusicVolume(attenuation);
        std::vector<int16_t> out(2);
        mixer.Render(out.data(), 1);
        EXPECT_NEAR(out[0], 8192 * gain, 1.0) << attenuation;
    }
    EXPECT_EQ(mixer.MusicVolume(), AttenuationSilent);  // held within its range
    mixer.SetMusicSource(nullptr);
}

TEST_F(MixerTest, OtherRatesAndFormatsAreResampledToTheMix) {
    // 22050 Hz lasts twice as many output frames; halfway samples are interpolated.
    const int slow = MonoBuffer(mixer, {0, 1000, 2000, 3000, 4000, 5000}, 22050);
    mixer.Play(slow, false);
    std::vector<int16_t> out = Render(mixer, 14);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2], 500);
    EXPECT_EQ(out[4], 1000);
    EXPECT_EQ(out[20], 5000);
    EXPECT_EQ(out[24], 0);  // ended after 12 frames
    EXPECT_FALSE(mixer.IsPlaying(slow));

    // Stereo 8-bit: unsigned bytes around 128.
    const int eight = mixer.CreateBuffer(Format(2, MixRate, 8), 4, false);
    const uint8_t bytes[4] = {255, 0, 192, 128};
    mixer.WriteBuffer(eight, 0, bytes, 4);
    mixer.Play(eight, false);
    out = Render(mixer, 2);
    EXPECT_EQ(out[0], 127 * 256);
    EXPECT_EQ(out[1], -128 * 256);
    EXPECT_EQ(out[2], 64 * 256);
    EXPECT_EQ(out[3], 0);

    // The frequency control shifts the rate and is limited to 100..100000 Hz.
    const int fast = MonoBuffer(mixer, std::vector<int16_t>(1000, 100));
    mixer.SetFrequency(fast, 88200);
    mixer.Play(fast, false);
    Render(mixer, 100);
    EXPECT_EQ(mixer.Position(fast), 200u * 2);
    mixer.SetFrequency(fast, 5);
    EXPECT_EQ(mixer.Frequency(fast), MinBufferFrequency);
    mixer.SetFrequency(fast, 500000);
    EXPECT_EQ(mixer.Frequency(fast), MaxBufferFrequency);
}

TEST_F(MixerTest, RefusesUnplayableBuffersAndForgetsReleasedOnes) {
    EXPECT_EQ(mixer.CreateBuffer(Format(0, MixRate, 16), 100, false), 0);
    EXPECT_EQ(mixer.CreateBuffer(Format(1, 0, 16), 100, false), 0);
    EXPECT_EQ(mixer.CreateBuffer(Format(1, MixRate, 24), 99, false), 0);
    WaveFormat compressed = Format(1, MixRate, 16);
    compressed.formatTag = 2;
    EXPECT_EQ(mixer.CreateBuffer(compressed, 100, false), 0);
    EXPECT_EQ(mixer.CreateBuffer(Format(2, MixRate, 16), 3, false), 0);  // less than one frame

    const int id = MonoBuffer(mixer, {1, 2, 3});
    const int copy = mixer.DuplicateBuffer(id);
    ASSERT_NE(copy, 0);
    mixer.ReleaseBuffer(id);
    EXPECT_FALSE(mixer.Play(id, false));
    EXPECT_EQ(mixer.Position(id), 0u);
    // The duplicate keeps the shared samples alive.
    mixer.Play(copy, false);
    std::vector<int16_t> out = Render(mixer, 3);
    EXPECT_EQ(out[4], 3);
    // A new buffer in the freed slot does not answer to the old id.
    const int fresh = MonoBuffer(mixer, {9});
    EXPECT_NE(fresh, id);
    EXPECT_FALSE(mixer.Stop(id));
    mixer.Close();
    EXPECT_EQ(mixer.CreateBuffer(Format(1, MixRate, 16), 100, false), 0);
    EXPECT_FALSE(mixer.Play(copy, false));
}

TEST_F(MixerTest, StreamingBuffersPlayRoundTheirRingAndTheFeederRunsBetweenBlocks) {
    const int ring = mixer.CreateBuffer(Format(1, MixRate, 16), 8, true);  // 4 frames
    const std::vector<int16_t> four = {10, 20, 30, 40};
    mixer.WriteBuffer(ring, 0, four.data(), 8);
    int feeds = 0;
    mixer.SetStreamFeeder([&] { ++feeds; });
    mixer.Play(ring, false);
    const std::vector<int16_t> out = Render(mixer, 3000);
    EXPECT_EQ(out[2 * 5], 20);
    EXPECT_EQ(out[2 * 2999], 40);
    EXPECT_TRUE(mixer.IsPlaying(ring));
    EXPECT_EQ(feeds, 3);  // blocks of 1024 frames
    // Writes wrap round the end.
    const std::vector<int16_t> two = {7, 8};
    mixer.WriteBuffer(ring, 6, two.data(), 4);
    mixer.SetStreamFeeder(nullptr);
    mixer.Stop(ring);
    mixer.SetPosition(ring, 0);
    mixer.Play(ring, false);
    const std::vector<int16_t> again = Render(mixer, 4);
    EXPECT_EQ(again[0], 8);
    EXPECT_EQ(again[6], 7);
}

TEST(MixerDevice, OpensTheDummyDriverAndMixesInRealTime) {
    // The tests run with SDL_AUDIODRIVER=dummy: the device opens and its callback pulls the mix.
    AudioMixer mixer;
    std::vector<std::string> notices;
    const bool opened = mixer.Open([&](const std::string& text) { notices.push_back(text); }, 512);
    ASSERT_TRUE(opened);
    EXPECT_EQ(mixer.Output(), AudioOutput::Device);
    EXPECT_FALSE(mixer.DriverName().empty());
    int feeds = 0;
    mixer.SetStreamFeeder([&] { ++feeds; });
    const uint64_t start = mixer.FramesMixed();
    for (int i = 0; i < 200 && mixer.FramesMixed() < start + 4410; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(mixer.FramesMixed(), start + 4410);
    mixer.SetStreamFeeder(nullptr);
    EXPECT_GT(feeds, 0);
    mixer.Close();
    EXPECT_FALSE(mixer.IsOpen());
}

}  // namespace
