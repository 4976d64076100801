// The sound bank on an offline mixer: loading by name, clones for other spellings, events, group
// volumes, the volume and pan scales, streamed sounds refilled as they play, and the log lines.
#include "audio/sound_bank.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "audio_test_support.h"
#include "base/random.h"
#include "persist/log.h"

namespace {

std::vector<int16_t> Render(AudioMixer& mixer, int frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    mixer.Render(out.data(), frames);
    return out;
}

class SoundBankTest : public ::testing::Test {
protected:
    void SetUp() override {
        mixer.OpenOffline();
        AttachSoundDevice(&mixer);
        SetSoundMessageBox(nullptr);
    }
    void TearDown() override {
        ReleaseAllSounds();
        AttachSoundDevice(nullptr);
        GameSoundBank().Reset();
        SetGroupVolume(0, EffectsGroup);
        SetGroupVolume(0, MusicGroup);
        SetSoundMessageBox(nullptr);
    }
    std::string Log() const { return ReadText(LogFilePath()); }

    ScratchDirectory scratch;
    AudioMixer mixer;
    SoundBank bank;
};

TEST(VolumeScale, FollowsTheTableAndReadsBack) {
    const std::pair<float, int32_t> table[] = {{0.0f, -10000}, {0.1f, -1973}, {0.25f, -1093}, {0.5f, -512},
                                               {0.75f, -208},  {0.9f, -73},   {1.0f, 0}};
    for (const auto& [volume, attenuation] : table) {
        EXPECT_EQ(VolumeToAttenuation(volume), attenuation) << volume;
        EXPECT_NEAR(AttenuationToVolume(attenuation), volume, 0.5 / 255 + 1e-6) << volume;
    }
    EXPECT_EQ(VolumeToAttenuation(-3.0f), -10000);
    EXPECT_EQ(VolumeToAttenuation(7.0f), 0);
}

TEST_F(SoundBankTest, SameNameLoadsOnceAndAnotherSpellingGetsAClone) {
    WriteBytes(scratch.Sound("click.wav"), MakeWav(TestWaveLayout(), Pcm16(std::vector<int16_t>(200, 5000))));
    bank.SetEffectsVolume(1.0f);
    EXPECT_EQ(bank.FindOrLoadSound("Sound\\click.wav"), 0);
    EXPECT_EQ(bank.FindOrLoadSound("Sound\\click.wav"), 0);
    EXPECT_EQ(LiveSoundCount(), 1);
    EXPECT_EQ(bank.FindOrLoadSound("sound\\CLICK.wav"), 1);
    EXPECT_EQ(bank.SoundCount(), 2);
    Sound* first = bank.SoundAt(0);
    Sound* clone = bank.SoundAt(1);
    EXPECT_EQ(clone->Name(), "Sound\\click.wav");  // the clone plays the first one's file
    EXPECT_NE(clone->BufferId(), 0);
    EXPECT_NE(clone->BufferId(), first->BufferId());
    // Clones keep the group, volume, loop and user bits of their source.
    first->SetUserBit(true);
    first->SetVolume(0.5f);
    Sound* third = CreateSound("SOUND\\click.wav", MusicGroup);
    EXPECT_EQ(third->Group(), EffectsGroup);
    EXPECT_TRUE(third->Flags() & SoundUserBit);
    EXPECT_NEAR(third->GetVolume(), 0.5f, 0.01f);
    delete third;
    // Both bank entries sound, on their own buffers.
    EXPECT_TRUE(bank.PlaySound(0, false));
    EXPECT_TRUE(bank.PlaySound(1, false));
    first->SetVolume(1.0f);
    const std::vector<int16_t> out = Render(mixer, 10);
    EXPECT_EQ(out[0], 10000);
    const std::string log = Log();
    EXPECT_NE(log.find("OGG sound loading: Sound\\click.wav ... OK\r\n"), std::string::npos);
    EXPECT_NE(log.find("OGG sound loading: sound\\CLICK.wav ... OK\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Sound\\click.wav ... OK"), log.rfind("Sound\\click.wav ... OK"));
}

TEST_F(SoundBankTest, RefusalsAndTheirLogLines) {
    EXPECT_FALSE(bank.PlaySound(-1, false));
    EXPECT_FALSE(bank.PlaySound(0, false));
    EXPECT_EQ(bank.FindOrLoadSound(""), -1);
    EXPECT_NE(Log().find("OGG sound loading:  ... FAILED\r\n"), std::string::npos);
    // A bad file stays in the bank without a buffer; the log says it failed and why, and the box (here
    // the log, as no box function is set) names the file.
    WriteBytes(scratch.Sound("bad.ogg"), {'n', 'o', 'p', 'e'});
    const int bad = bank.FindOrLoadSound("Sound\\bad.ogg");
    ASSERT_EQ(bad, 0);
    EXPECT_EQ(bank.SoundAt(bad)->BufferId(), 0);
    EXPECT_FALSE(bank.PlaySound(bad, false));
    EXPECT_NE(Log().find("===> Warning: sound file is bad: Sound\\bad.ogg"), std::string::npos);
    EXPECT_NE(Log().find("OGG sound loading: Sound\\bad.ogg ... FAILED (not an Ogg Vorbis file)"),
              std::string::npos);
    // With the game's box function set, that gets the text and the caption instead.
    std::string text, caption;
    SetSoundMessageBox([&](const std::string& t, const std::string& c) {
        text = t;
        caption = c;
    });
    bank.FindOrLoadSound("Sound\\missing.wav");
    EXPECT_EQ(text, "Sound\\missing.wav");
    EXPECT_EQ(caption, "sound file is bad");
    // A full bank refuses with a warning.
    for (int i = bank.SoundCount(); i < MaxBankSounds; ++i)
        bank.FindOrLoadSound("Sound\\m" + std::to_string(i) + ".xyz");
    EXPECT_EQ(bank.SoundCount(), MaxBankSounds);
    EXPECT_EQ(bank.FindOrLoadSound("Sound\\one-more.wav"), -1);
    EXPECT_NE(Log().find("===> Warning: too many sound files\r\n"), std::string::npos);
}

TEST_F(SoundBankTest, EventsTakeTheLastRecordAndDrawOnlyForSeveralFiles) {
    WriteBytes(scratch.Sound("a.wav"), MakeWav(TestWaveLayout(), Pcm16(std::vector<int16_t>(100, 1000))));
    WriteBytes(scratch.Sound("b.wav"), MakeWav(TestWaveLayout(), Pcm16(std::vector<int16_t>(100, 2000))));
    bank.SetEffectsVolume(1.0f);
    bank.AddSoundEvent("ev", {"Sound\\a.wav"}, 1.0f);
    bank.AddSoundEvent("ev", {"Sound\\b.wav"}, 0.5f);
    SeedRandom(77);
    const int expected = RandomInt(0, 1000);
    SeedRandom(77);
    const int index = bank.PrepareSoundEvent("ev");
    ASSERT_GE(index, 0);
    EXPECT_EQ(bank.SoundFileName(index), "Sound\\b.wav");
    EXPECT_EQ(RandomInt(0, 1000), expected);  // one file: no random number drawn
    // The event's volume times the effects volume.
    EXPECT_EQ(mixer.Volume(bank.SoundAt(index)->BufferId()), VolumeToAttenuation(0.5f));

    bank.AddSoundEvent("three", {"Sound\\a.wav", "Sound\\b.wav", "Sound\\a.wav"}, 1.0f);
    bool sawA = false, sawB = false;
    for (int i = 0; i < 60; ++i) {
        const std::string file = bank.SoundFileName(bank.PrepareSoundEvent("three"));
        sawA |= file == "Sound\\a.wav";
        sawB |= file == "Sound\\b.wav";
    }
    EXPECT_TRUE(sawA && sawB);

    bank.AddSoundEvent("empty", {}, 1.0f);
    EXPECT_EQ(bank.PrepareSoundEvent("empty"), -1);
    EXPECT_EQ(bank.PrepareSoundEvent("nothing"), -1);
    const std::string log = Log();
    EXPECT_NE(log.find("Warning: couldn't find sound event - empty\r\n"), std::string::npos);
    EXPECT_NE(log.find("Warning: couldn't find sound event - nothing\r\n"), std::string::npos);
    EXPECT_EQ(log.find("===> Warning: couldn't"), std::string::npos);  // a plain line
}

TEST_F(SoundBankTest, GroupVolumesScaleEverySoundAndPanFollowsTheVolumeScale) {
    WriteBytes(scratch.Sound("a.wav"), MakeWav(TestWaveLayout(), Pcm16(std::vector<int16_t>(44100, 8000))));
    const int index = bank.FindOrLoadSound("Sound\\a.wav");
    Sound* sound = bank.SoundAt(index);
    const int buffer = sound->BufferId();
    EXPECT_EQ(mixer.Volume(buffer), AttenuationSilent);  // the groups start silent
    bank.SetEffectsVolume(1.0f);
    EXPECT_EQ(mixer.Volume(buffer), 0);
    sound->SetVolume(0.75f);
    EXPECT_EQ(mixer.Volume(buffer), -208);
    bank.SetEffectsVolume(0.5f);  // own volume x group volume
    EXPECT_EQ(mixer.Volume(buffer), VolumeToAttenuation(0.375f));
    EXPECT_NEAR(sound->GetVolume(), 0.75f, 0.01f);
    bank.SetMusicVolume(0.0f);  // the other group leaves it alone
    EXPECT_EQ(mixer.Volume(buffer), VolumeToAttenuation(0.375f));
    EXPECT_EQ(bank.MusicVolume(), 0.0f);
    EXPECT_EQ(bank.EffectsVolume(), 0.5f);

    sound->SetPan(0.5f);
    EXPECT_EQ(mixer.Pan(buffer), 512);
    sound->SetPan(-0.25f);
    EXPECT_EQ(mixer.Pan(buffer), VolumeToAttenuation(0.75f));
    sound->SetPan(1.0f);
    EXPECT_EQ(mixer.Pan(buffer), PanRight);
    sound->SetPan(0.0f);
    EXPECT_EQ(mixer.Pan(buffer), 0);
    sound->SetFrequency(0.5f);
    EXPECT_EQ(mixer.Frequency(buffer), 22050u);
    EXPECT_FLOAT_EQ(sound->GetFrequency(), 0.5f);
}

// A music-group sound several ring lengths long: the feeder refills the ring as it plays, so every
// sample comes out once, in order, and then the sound stops by itself.
TEST_F(SoundBankTest, AStreamedSoundPlaysThroughOnceInFull) {
    const int frames = StreamBufferBytes / 2 * 3 + 12345;
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i) samples.push_back(static_cast<int16_t>((i * 13) % 30011 - 15000));
    WriteBytes(scratch.Sound("long.wav"), MakeWav(TestWaveLayout(), Pcm16(samples)));
    bank.SetMusicVolume(1.0f);
    ASSERT_TRUE(bank.AddSound("Sound\\long.wav", MusicGroup));
    Sound* sound = bank.SoundAt(0);
    ASSERT_TRUE(sound->IsStreamed());
    EXPECT_EQ(mixer.BufferBytes(sound->BufferId()), StreamBufferBytes);
    ASSERT_TRUE(bank.PlaySound(0, false));
    const std::vector<int16_t> left = LeftChannel(Render(mixer, frames + 20000));
    for (int i = 0; i < frames; ++i) ASSERT_EQ(left[i], samples[i]) << "frame " << i;
    for (size_t i = frames; i < left.size(); ++i) ASSERT_EQ(left[i], 0) << "frame " << i;
    EXPECT_FALSE(sound->IsPlaying());
    // Played again it starts from the beginning.
    ASSERT_TRUE(bank.PlaySound(0, false));
    const std::vector<int16_t> again = LeftChannel(Render(mixer, 100));
    EXPECT_EQ(again[0], samples[0]);
    EXPECT_EQ(again[99], samples[99]);
}

// A streamed file that broke after its first load, asked for under another spelling: its message box
// may stay open for long, and the mixer's feeder must still get at the sounds meanwhile.
TEST_F(SoundBankTest, ACloneOfABrokenStreamedFileIsReportedOutsideTheSoundLock) {
    WriteBytes(scratch.Sound("song.wav"), MakeWav(TestWaveLayout(), Pcm16(std::vector<int16_t>(5000, 7))));
    ASSERT_TRUE(bank.AddSound("Sound\\song.wav", MusicGroup));
    Sound* original = bank.SoundAt(0);
    ASSERT_TRUE(original->IsStreamed());
    WriteBytes(scratch.Sound("song.wav"), {'b', 'r', 'o', 'k', 'e', 'n'});
    bool reported = false, feederGotThrough = false;
    std::future<void> feeder;  // outlives the box, so a feeder left waiting can finish afterwards
    SetSoundMessageBox([&](const std::string& text, const std::string&) {
        reported = text == "Sound\\song.wav";
        feeder = std::async(std::launch::async, [original] { original->Update(); });
        feederGotThrough = feeder.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    });
    Sound* clone = CreateSound("sound\\SONG.wav", MusicGroup);
    ASSERT_NE(clone, nullptr);
    EXPECT_TRUE(reported);
    EXPECT_TRUE(feederGotThrough);
    EXPECT_EQ(clone->BufferId(), 0);
    delete clone;
}

TEST_F(SoundBankTest, ALoopingStreamedWaveStartsAgainAfterItsEnd) {
    const int frames = StreamBufferBytes / 2 + 1000;  // a little over one ring
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i) samples.push_back(static_cast<int16_t>(i % 20000 + 1));
    WriteBytes(scratch.Sound("loop.wav"), MakeWav(TestWaveLayout(), Pcm16(samples)));
    bank.SetMusicVolume(1.0f);
    ASSERT_TRUE(bank.AddSound("Sound\\loop.wav", MusicGroup));
    ASSERT_TRUE(bank.PlaySound(0, true));
    const std::vector<int16_t> left = LeftChannel(Render(mixer, frames * 3));
    for (int i = 0; i < frames * 3; ++i) ASSERT_EQ(left[i], samples[i % frames]) << "frame " << i;
    EXPECT_TRUE(bank.SoundAt(0)->IsPlaying());
    bank.SoundAt(0)->Pause();
    EXPECT_FALSE(bank.SoundAt(0)->IsPlaying());
}

TEST_F(SoundBankTest, LargeEffectsStreamAndOggSoundsDecodeIntoTheMix) {
    const std::vector<float> sine = Sine(1, 22050, 0.3, 500, 0.6f);
    WriteBytes(scratch.Sound("tone.ogg"), MakeOgg(1, 22050, sine));
    bank.SetEffectsVolume(1.0f);
    ASSERT_TRUE(bank.PlaySoundFile("Sound\\tone.ogg"));
    EXPECT_FALSE(bank.SoundAt(0)->IsStreamed());
    const std::vector<int16_t> left = LeftChannel(Render(mixer, 44100));
    EXPECT_NEAR(PeakOf(std::vector<int16_t>(left.begin(), left.begin() + 26000)), 0.6 * 32768, 0.1 * 32768);
    EXPECT_EQ(PeakOf(std::vector<int16_t>(left.begin() + 27000, left.end())), 0);
    // Over 1 MB decoded: streamed even in the effects group.
    WriteBytes(scratch.Sound("big.wav"),
               MakeWav(TestWaveLayout(), Pcm16(std::vector<int16_t>(StreamThresholdBytes / 2 + 10, 3))));
    ASSERT_GE(bank.FindOrLoadSound("Sound\\big.wav"), 0);
    EXPECT_TRUE(bank.SoundAt(1)->IsStreamed());
}

// Start-up attaches the bank and defines "type_01", so the name entry's key sound is heard.
TEST_F(SoundBankTest, TheNameEntrySoundEventIsDefinedAndHeard) {
    for (int i = 1; i <= 3; ++i)
        WriteBytes(scratch.Sound("type_" + std::to_string(i) + ".ogg"),
                   MakeOgg(1, 44100, Sine(1, 44100, 0.1, 800, 0.5f)));
    GameSoundBank().Reset();
    InitSoundBank(&mixer, true, false);
    EXPECT_EQ(GameSoundBank().EffectsVolume(), 1.0f);
    EXPECT_EQ(GameSoundBank().MusicVolume(), 0.0f);
    ASSERT_TRUE(PlaySoundEvent("type_01"));
    EXPECT_GT(PeakOf(Render(mixer, 4000)), 10000);
    EXPECT_EQ(Log().find("couldn't find sound event"), std::string::npos);
    // Sound switched off: still found, but silent.
    SetEffectsVolume(0.0f);
    ASSERT_TRUE(PlaySoundEvent("type_01"));
    EXPECT_EQ(PeakOf(Render(mixer, 4000)), 0);
    // Without a device the same calls play nothing.
    ReleaseSoundBank();
    GameSoundBank().Reset();
    SetEffectsVolume(1.0f);
    GameSoundBank().DefineBuiltInEvents();
    EXPECT_FALSE(PlaySoundEvent("type_01"));
}

TEST_F(SoundBankTest, TheGlobalListReusesFreedSlotsBeforeAppending) {
    std::vector<Sound*> made;
    for (int i = 0; i < 100; ++i) made.push_back(new Sound("", "k" + std::to_string(i), EffectsGroup));
    EXPECT_EQ(SoundListSlots(), 100);
    delete made[40];
    Sound* again = new Sound("", "again", EffectsGroup);
    EXPECT_EQ(SoundListSlots(), 100);
    made.push_back(new Sound("", "more", EffectsGroup));
    EXPECT_EQ(SoundListSlots(), 101);
    EXPECT_EQ(LiveSoundCount(), 101);
    ReleaseAllSounds();
    EXPECT_EQ(LiveSoundCount(), 0);
    (void)again;
}

}  // namespace
