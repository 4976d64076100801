// The MIDI synthesiser behind the game's music: a software synth with a General MIDI soundfont that
// renders standard MIDI files straight into the audio mixer's block (it never opens an audio driver
// of its own). Songs are checked and kept in memory when loaded; one song plays at a time, a given
// number of times over. Whether a song is still playing is judged from the player's position against
// the song's length, so the answer turns false the moment the last note of the last repeat is due,
// not seconds later. Stopping, or starting a song over one that still sounds, fades the output out
// over a few milliseconds and mutes the synth before anything new is heard, so the cut never clicks.
// The synth's own log is silenced.
//
// Threading: RenderMusic runs on the audio thread inside the mixer's block; every other call comes from
// the window thread. One mutex of the synth guards the player; it never calls into the mixer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "audio_out/audio_mixer.h"

// What a standard MIDI file declares, after every chunk and event has been checked against the data.
struct MidiFileInfo {
    bool valid = false;
    uint16_t format = 0;
    uint16_t trackCount = 0;
    uint16_t division = 0;    // ticks per quarter note
    uint32_t totalTicks = 0;  // length of the longest track
    std::string error;        // why it was refused
};

// Checks a whole file in memory: "MThd" header (format 0..2, at least one track, ticks-per-beat
// timing), every declared "MTrk" chunk inside the file, every event inside its chunk.
MidiFileInfo ParseMidiFile(const uint8_t* data, size_t size);

// Reads a whole MIDI file (regular files up to MaxMidiFileBytes); false with the reason otherwise.
bool ReadMidiFile(const std::string& nativePath, std::vector<uint8_t>& bytes, std::string& error);
// Reads and checks a MIDI file as loading it would, without a synth; false with the reason.
bool CheckMidiFile(const std::string& nativePath, std::string& error);

struct MidiSynthState;

// The synth's output gain for a song played without a gain of its own.
constexpr float DefaultSynthGain = 0.5f;
// The fade of a stop: 10 ms.
constexpr int StopFadeFrames = MixRate / 100;

class MidiSynth : public MusicSource {
public:
    MidiSynth();
    ~MidiSynth() override;
    MidiSynth(const MidiSynth&) = delete;
    MidiSynth& operator=(const MidiSynth&) = delete;

    // Creates the synth at the mixer's rate and loads the soundfont (native path; "" for none). Returns
    // false only when the synth itself cannot be made; a soundfont that does not load leaves the synth
    // running silent (HasSoundFont is false) and error says why.
    bool Init(const std::string& soundFontPath, std::string& error);
    // Puts another soundfont in the place of the synth's own (what plays stops); false, with the reason,
    // when it does not load: the synth then has none and stays silent.
    bool LoadSoundFont(const std::string& soundFontPath, std::string& error);
    bool IsReady() const;
    bool HasSoundFont() const;
    // Stops, forgets every song and frees the synth.
    void Release();

    // Checks and keeps a song; returns its number or -1 (error says why).
    int AddSong(std::vector<uint8_t> bytes, std::string& error);
    int LoadSongFile(const std::string& nativePath, std::string& error);
    int SongCount() const;
    uint32_t SongTicks(int song) const;

    // Plays a song from its start repeats + 1 times in a row at the synth gain given, after fading
    // out whatever still sounds.
    bool Play(int song, int repeats, float gain = DefaultSynthGain);
    // Fades the music out and mutes the synth until the next song.
    void Stop();
    bool IsPlaying() const;

    void RenderMusic(float* stereo, int frames) override;

private:
    mutable std::mutex lock;
    MidiSynthState* state = nullptr;
};
