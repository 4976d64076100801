// The background music: five standard MIDI files, each loaded once, played through the MIDI synth in
// the audio mixer. The next track is chosen among those played least often so far, at random among
// equals, and sounds twice in a row. The frame step's music check starts the next track whenever
// nothing plays and the music option is on; switching the option off stops the music at once.
// Without an audio device, or without a soundfont (then app.log says so once), the music is silent.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio_out/audio_mixer.h"
#include "audio_out/midi_synth.h"

constexpr int MaxMusicTracks = 100;
constexpr int GameTrackCount = 5;

// The five tracks in load order: track 0 is "Sound\music_1.mid".
extern const char* const MusicTrackFiles[GameTrackCount];

// The General MIDI soundfont of the timgm6mb-soundfont package, which the game is measured with.
constexpr const char* PackagedSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
// The system's choice of General MIDI soundfont: a link to whichever font package was installed last.
constexpr const char* SystemSoundFontLink = "/usr/share/sounds/sf2/default-GM.sf2";

// The soundfont the synth uses, the same on every run of a machine: the first ".sf2" in "Sound\" (by
// name; the game ships none, a player may add one), else the packaged soundfont, else the system's
// link; "" when there is none.
std::string FindSoundFont();
std::string ChooseSoundFont(const std::string& packaged, const std::string& systemLink);

// The synth gain for a game track (0..4) with a soundfont, so that every track sounds equally loud
// (an RMS level of about -23 dBFS, some 4 dB under the effects) and none clips. The known
// soundfonts are recognised by file name, through links; any other font gets, per track, the
// lower of the known gains. A track outside the five plays at the synth's default gain.
float MusicTrackGain(const std::string& soundFontPath, int track);

class MusicPlayer {
public:
    MusicPlayer() = default;
    ~MusicPlayer() { ReleaseMusic(); }
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // Creates the synth on the mixer with the game's soundfont (or the one given); false without an
    // open mixer (music then stays silent).
    bool InitMusic(AudioMixer* mixer);
    bool InitMusic(AudioMixer* mixer, const std::string& soundFontPath);
    bool LoadTrack(const std::string& fileName);
    int FindTrack(const std::string& fileName) const;
    bool PlayTrack(const std::string& fileName, int repeats);
    bool StopMusic();
    bool IsMusicPlaying() const;
    void ReleaseMusic();
    // The music's volume in the mix, 0..1 on the sound bank's scale (VolumeToAttenuation); 1 at start.
    void SetVolume(float volume);
    float Volume() const { return volume; }
    // Stops what plays and starts the least-played track with one repeat; nothing with music off.
    void PlayNextTrack(bool musicOn);
    // The least-played rule: picks a track among the lowest counters and counts it.
    int ChooseNextTrack();
    // Once per frame, in every state: starts the next track when music is on, nothing plays, and the
    // last attempt is more than half a second ago.
    void RunMusicCheck(float now, bool musicOn);

    int TrackCount() const { return static_cast<int>(tracks.size()); }
    bool IsReady() const { return ready; }
    MidiSynth& Synth() { return synth; }

    std::array<int32_t, GameTrackCount> trackPlayCounts{};
    float lastMusicCheck = -100;

private:
    struct Track {
        std::string fileName;
        int song = -1;
    };
    std::vector<Track> tracks;
    MidiSynth synth;
    std::string soundFont;
    AudioMixer* mixer = nullptr;
    bool ready = false;
    float volume = 1.0f;
};

MusicPlayer& GameMusicPlayer();

// The game's calls on the global player.
bool InitMusic(AudioMixer* mixer);
bool LoadTrack(const std::string& fileName);
bool PlayTrack(const std::string& fileName, int repeats);
bool StopMusic();
bool IsMusicPlaying();
void ReleaseMusic();
void PlayNextTrack(bool musicOn);
void RunMusicCheck(float now, bool musicOn);
// Loads the five game tracks in order (the first device creation of a run).
void LoadGameTracks();
