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

// The soundfont the synth uses: the first ".sf2" in "Sound\" (by name), then the system's General
// MIDI soundfonts; "" when there is none.
std::string FindSoundFont();

class MusicPlayer {
public:
    MusicPlayer() = default;
    ~MusicPlayer() { ReleaseMusic(); }
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // Creates the synth on the mixer; false without an open mixer (music then stays silent).
    bool InitMusic(AudioMixer* mixer);
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
