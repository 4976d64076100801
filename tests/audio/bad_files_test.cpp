// Sound files that cannot be played are logged with the file and the reason, with an audio device and
// without one (a headless run still checks every file it would load), and the game goes on silently.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "audio/music_player.h"
#include "audio/sound_bank.h"
#include "audio/wave_effects.h"
#include "audio_out/midi_synth.h"
#include "audio_test_support.h"
#include "persist/log.h"

namespace {

struct Damage {
    const char* what;
    std::function<void(const std::filesystem::path&)> make;
    const char* reason;
};

const Damage Damages[] = {
    {"missing", [](const std::filesystem::path&) {}, "cannot open: No such file or directory"},
    {"empty", [](const std::filesystem::path& p) { WriteBytes(p, {}); }, ""},
    {"garbage",
     [](const std::filesystem::path& p) {
         WriteBytes(p, {'n', 'o', 'p', 'e', 0, 1, 2, 3, 4, 5});
     },
     ""},
    {"directory", [](const std::filesystem::path& p) { std::filesystem::create_directory(p); },
     "cannot open: not a regular file"},
    {"pipe", [](const std::filesystem::path& p) { mkfifo(p.c_str(), 0600); },
     "cannot open: not a regular file"},
    {"device", [](const std::filesystem::path& p) { std::filesystem::create_symlink("/dev/zero", p); },
     "cannot open: not a regular file"},
};

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(BadSoundFiles, EachIsLoggedWithItsReasonWithOrWithoutADevice) {
    for (const bool withDevice : {true, false}) {
        for (const Damage& damage : Damages) {
            SCOPED_TRACE(std::string(damage.what) + (withDevice ? " with a device" : " without a device"));
            ScratchDirectory scratch;
            damage.make(scratch.Sound("fall.wav"));
            damage.make(scratch.Sound("click.ogg"));
            damage.make(scratch.Sound("music_2.mid"));
            AudioMixer mixer;
            mixer.OpenOffline();
            AudioMixer* device = withDevice ? &mixer : nullptr;

            WaveEffects effects;
            effects.Init(device);
            EXPECT_FALSE(effects.Load("Sound\\fall.wav"));
            AttachSoundDevice(device);
            SetSoundMessageBox(nullptr);
            SoundBank bank;
            EXPECT_EQ(bank.FindOrLoadSound("Sound\\click.ogg"), 0) << "it keeps its place in the bank";
            EXPECT_FALSE(bank.PlaySound(0, false));
            MusicPlayer player;
            player.InitMusic(device);
            EXPECT_FALSE(player.LoadTrack("Sound\\music_2.mid"));

            const std::string log = ReadText(LogFilePath());
            for (const char* line : {"Wave loading: Sound\\fall.wav ... FAILED (",
                                     "OGG sound loading: Sound\\click.ogg ... FAILED (",
                                     "MIDI loading: Sound\\music_2.mid ... FAILED ("}) {
                EXPECT_EQ(Count(log, line + std::string(damage.reason)), 1) << line << "\n" << log;
            }
            EXPECT_EQ(Count(log, "... OK"), 0) << log;
            EXPECT_EQ(Count(log, "FAILED ()"), 0) << "every failure has a reason";
            player.ReleaseMusic();
            effects.Release();
            ReleaseAllSounds();
            AttachSoundDevice(nullptr);
        }
    }
}

TEST(BadSoundFiles, ASoundFontThatIsNotAFileIsPassedOverWithALogLine) {
    ScratchDirectory scratch;
    std::filesystem::create_directory(scratch.Sound("a.sf2"));
    const std::string found = ChooseSoundFont((scratch.Path() / "none.sf2").string(), "");
    EXPECT_EQ(found, "");
    EXPECT_NE(
        ReadText(LogFilePath()).find("MIDI music: 'Sound\\a.sf2' is not a soundfont file that can be opened"),
        std::string::npos);
}

}  // namespace

TEST(BadSoundFiles, ASoundFontThatDoesNotLoadCarriesTheSynthsReason) {
    ScratchDirectory scratch;
    const std::string good = FindSoundFont();  // the system's, before the bad one is in the folder
    WriteBytes(scratch.Sound("bad.sf2"), {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'n', 'o', 'p', 'e'});
    MidiSynth synth;
    std::string error;
    ASSERT_TRUE(synth.Init("Sound/bad.sf2", error)) << "the synth runs, silent";
    EXPECT_FALSE(synth.HasSoundFont());
    EXPECT_NE(error.find("soundfont does not load: Sound/bad.sf2 ("), std::string::npos) << error;
    if (good.empty()) return;
    // Another soundfont takes its place, and a bad one after it leaves the synth without any.
    EXPECT_TRUE(synth.LoadSoundFont(good, error)) << error;
    EXPECT_TRUE(synth.HasSoundFont());
    EXPECT_FALSE(synth.LoadSoundFont("Sound/bad.sf2", error));
    EXPECT_FALSE(synth.HasSoundFont());
}
