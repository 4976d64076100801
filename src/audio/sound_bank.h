// The sound bank: the short sounds of the menu screens. Widgets name a sound file for the pointer
// passing over them and for a click; the high-score name entry asks for the named event "type_01".
// A file is decoded and put in a mixer buffer the first time it is asked for and kept for the run;
// a second spelling of the same path that differs only in letter case becomes a clone of the first
// sound. Sounds belong to the effects or the music volume group, which the sound and music options
// switch between full and silent. Music-group sounds and sounds over 1 MB of decoded data are
// streamed through a 128 KB ring that the mixer's feeder keeps refilled as it plays.
//
// Threading: the bank itself is used from the window thread only. Every Sound operation and the global
// sound list are guarded by one recursive mutex, which the mixer's feeder thread takes while it
// refills the streamed sounds.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/sound_decoder.h"
#include "audio_out/audio_mixer.h"

enum SoundGroup : uint32_t { EffectsGroup = 0, MusicGroup = 1 };

// Sound flags.
constexpr uint32_t SoundPlaying = 1u << 0;
constexpr uint32_t SoundLooping = 1u << 1;
constexpr uint32_t SoundUserBit = 1u << 2;  // copied on clone, no other effect
constexpr uint32_t SoundGroupShift = 3;
constexpr uint32_t SoundGroupMask = 3u << SoundGroupShift;
constexpr uint32_t SoundStreaming = 1u << 5;

// Decoded data above this size is streamed rather than held whole.
constexpr uint32_t StreamThresholdBytes = 1048576;

// Volume 0..1 to hundredths of a decibel: 0 -> -10000, 0.5 -> -512, 1 -> 0.
int32_t VolumeToAttenuation(float volume);
// The inverse, as far as the 256 steps of VolumeToAttenuation allow.
float AttenuationToVolume(int32_t attenuation);

// The inert sound: every operation does nothing; getters answer the stored volume and pan.
class SoundBase {
public:
    virtual ~SoundBase() = default;
    virtual void Load() {}
    virtual void ReleaseBuffer() {}
    virtual bool Play(bool loop) {
        (void)loop;
        return false;
    }
    virtual void Pause() {}
    virtual void Stop() {}
    virtual void SetVolume(float v) { volume = v; }
    virtual void SetFrequency(float f) { (void)f; }
    virtual void SetPan(float p) { pan = p; }
    virtual SoundBase* Clone() { return this; }
    virtual float GetFrequency() const { return 0; }
    virtual float GetVolume() const { return volume; }
    virtual float GetPan() const { return pan; }
    virtual bool IsPlaying() { return false; }
    virtual void Update() {}

protected:
    float volume = 1.0f;
    float pan = 0.0f;
};

class Sound : public SoundBase {
public:
    // Registers itself in the global sound list. Load it separately.
    Sound(const std::string& name, const std::string& key, SoundGroup group);
    ~Sound() override;

    void Load() override;
    void ReleaseBuffer() override;
    bool Play(bool loop) override;
    void Pause() override;
    void Stop() override;
    void SetVolume(float v) override;
    void SetFrequency(float f) override;
    void SetPan(float p) override;
    Sound* Clone() override;
    float GetFrequency() const override;
    float GetVolume() const override;
    float GetPan() const override;
    bool IsPlaying() override;
    // Refills a streamed sound's ring up to the play cursor; stops a sound that plays once when its
    // last byte has been played.
    void Update() override;

    const std::string& Name() const { return name; }
    const std::string& Key() const { return key; }
    uint32_t Flags() const { return flags; }
    SoundGroup Group() const { return static_cast<SoundGroup>((flags & SoundGroupMask) >> SoundGroupShift); }
    int BufferId() const { return buffer; }
    bool IsStreamed() const { return decoder != nullptr; }
    uint32_t BytesWritten() const { return bytesWritten; }
    void SetUserBit(bool on) { flags = on ? flags | SoundUserBit : flags & ~SoundUserBit; }
    // Why the file cannot be played ("" when it loaded, or was found sound without a device to load
    // it on). Without an audio device the file is still checked, so that a run without sound reports
    // a broken file too.
    const std::string& LoadError() const { return loadError; }
    // What is wrong with a file that plays all the same (a wave cut short), or "".
    const std::string& LoadWarning() const { return loadWarning; }

private:
    void Fill(uint32_t offset, uint32_t count);

    std::string name;
    std::string key;
    uint32_t flags = 0;
    int buffer = 0;
    std::unique_ptr<SoundDecoder> decoder;
    uint32_t bytesWritten = 0;
    std::vector<uint8_t> scratch;
    std::string loadError;
    std::string loadWarning;
};

// The mixer that new sounds make their buffers on (nullptr: sounds load without a buffer and are
// silent). Attaching also makes the mixer's feeder refill streamed sounds.
void AttachSoundDevice(AudioMixer* mixer);
AudioMixer* AttachedSoundDevice();

// The global sound list.
int SoundListSlots();
int LiveSoundCount();
// Refills every streamed sound that is playing (the mixer's feeder).
void UpdateStreamingSounds();
// Destroys every sound (the bank's entries go with them). At exit, and between tests.
void ReleaseAllSounds();

// Group volumes (0 at start).
void SetGroupVolume(float v, SoundGroup group);
float GroupVolume(SoundGroup group);

// CreateSound: none for an empty path; a clone for a path whose key already exists (any letter case);
// otherwise a new loaded sound.
Sound* CreateSound(const std::string& path, SoundGroup group);

// What the game shows when a sound file cannot be played. Without a hook (headless runs, tests) the
// text goes to app.log as a warning instead of a blocking message box.
using SoundMessageBox = std::function<void(const std::string& text, const std::string& caption)>;
void SetSoundMessageBox(SoundMessageBox function);

constexpr int MaxBankSounds = 100;
constexpr int MaxSoundEvents = 100;
constexpr int MaxEventFiles = 10;

struct SoundEvent {
    std::string name;
    std::vector<std::string> files;
    float volume = 1.0f;
};

class SoundBank {
public:
    // Defines an event (at most 10 files are kept); false when the table of 100 is full or the
    // name is empty. A later definition of the same name wins.
    bool AddSoundEvent(const std::string& name, const std::vector<std::string>& files, float volume);
    // The events every run has ("type_01", the name entry's key sound).
    void DefineBuiltInEvents();

    bool PlaySoundFile(const std::string& fileName);
    bool PlaySoundEvent(const std::string& eventName);
    int FindOrLoadSound(const std::string& fileName);
    bool AddSound(const std::string& fileName, SoundGroup group);
    bool PlaySound(int index, bool loop);
    int PrepareSoundEvent(const std::string& eventName);
    void SetEffectsVolume(float v);
    void SetMusicVolume(float v);

    int SoundCount() const { return static_cast<int>(entries.size()); }
    int EventCount() const { return static_cast<int>(events.size()); }
    Sound* SoundAt(int index) const;
    std::string SoundFileName(int index) const;
    float EffectsVolume() const { return effectsVolume; }
    float MusicVolume() const { return musicVolume; }
    // Back to the empty start: no sounds, no events, volume copies 0 (the sounds themselves stay in
    // the global list until ReleaseAllSounds).
    void Reset();

private:
    struct Entry {
        std::string fileName;
        Sound* sound = nullptr;
    };
    std::vector<SoundEvent> events;
    std::vector<Entry> entries;
    float musicVolume = 0;
    float effectsVolume = 0;
    friend void ReleaseAllSounds();
};

SoundBank& GameSoundBank();

// Start-up: attaches the bank to the mixer, defines the built-in events and sets the two group volumes
// from the stored sound and music options, so widget sounds are heard from the first screen on.
void InitSoundBank(AudioMixer* mixer, bool soundOn, bool musicOn);
// Shut-down: destroys every sound and detaches the mixer.
void ReleaseSoundBank();

// Shorthands on the global bank, as the screens call them.
bool PlaySoundFile(const std::string& fileName);
bool PlaySoundEvent(const std::string& eventName);
void SetEffectsVolume(float v);
void SetMusicVolume(float v);
