// The game's sound output: one audio device (44100 Hz, stereo, 16-bit) and the software mixer that
// feeds it. The mixer owns every sound buffer the game creates: static buffers that hold a whole sound
// and streaming rings that the game refills behind a play cursor. Each buffer has its own volume
// (hundredths of a decibel, 0 = full, -10000 = silent), pan (-10000 full left .. 10000 full right) and
// playback frequency; any number of buffers sound at once, their sum saturating at full scale, and
// playing a buffer again restarts it. One music source (the MIDI synth) is mixed in as well.
//
// Threading: the device's callback runs on SDL's audio thread. Every call the game makes from the
// window thread takes the mixer's one mutex for a few microseconds (sample memory is allocated and
// freed outside it); the callback holds it while it mixes one device block. Streaming rings are
// refilled by a feeder function the game registers: a feeder thread of the mixer calls it every few
// milliseconds while a device runs, outside the mutex, and offline rendering calls it between blocks.
//
// With no usable device (no sound card, no sound server) the mixer falls back to SDL's dummy driver,
// or to no output at all, says so once through the notice function and the game runs silent. Tests
// and benchmarks open it offline and pull the mix with Render.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

constexpr int MixRate = 44100;
constexpr uint32_t StreamBufferBytes = 131072;
constexpr int32_t AttenuationFull = 0;
constexpr int32_t AttenuationSilent = -10000;
constexpr int32_t PanLeft = -10000;
constexpr int32_t PanRight = 10000;
constexpr uint32_t MinBufferFrequency = 100;
constexpr uint32_t MaxBufferFrequency = 100000;

constexpr uint16_t WaveFormatPcm = 1;

// The PCM format record of a sound (the 18 bytes of a wave file's "fmt " chunk).
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;
};

// True for what the mixer plays: PCM, 1 or 2 channels, 8 or 16 bits, 1..384000 Hz, with a block
// alignment that matches channels and bits.
bool IsPlayableFormat(const WaveFormat& format);

// Renders music into the mix. Called on the audio thread with the mixer's mutex held; it adds nothing
// to the mix when it is silent. stereo holds frames interleaved left/right pairs, zeroed by the mixer.
class MusicSource {
public:
    virtual ~MusicSource() = default;
    virtual void RenderMusic(float* stereo, int frames) = 0;
};

using AudioNotice = std::function<void(const std::string& text)>;

enum class AudioOutput { Closed, Device, Silent, Offline };

class AudioMixer {
public:
    AudioMixer();
    ~AudioMixer();
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    // Opens the sound device with blockFrames frames per device block (small blocks keep the delay
    // from a play request to the speaker short). Falls back to the dummy driver, then to Silent; says
    // which through notice, once. Returns true when a device (real or dummy) runs.
    bool Open(const AudioNotice& notice, int blockFrames = 512);
    // No device: the mix advances only when Render pulls it. For tests and benchmarks.
    void OpenOffline();
    // Stops the device and the feeder thread and frees every buffer.
    void Close();
    // True when buffers can be made and played: a device, or offline.
    bool IsOpen() const;
    AudioOutput Output() const { return output; }
    std::string DriverName() const { return driverName; }
    int BlockFrames() const { return blockFrames; }

    // Buffers. Ids are positive; 0 means none (the mixer refused: closed, a format it cannot play,
    // size 0, or the table of 512 buffers is full). A streaming buffer always plays round its ring.
    int CreateBuffer(const WaveFormat& format, uint32_t bytes, bool streaming);
    // A second buffer on the same sample memory, with its own cursor, volume, pan and frequency.
    int DuplicateBuffer(int id);
    void ReleaseBuffer(int id);
    // Copies count bytes in at offset, wrapping round the end of the buffer.
    bool WriteBuffer(int id, uint32_t offset, const void* data, uint32_t count);
    // Starts from the current position; a buffer that is already playing just changes its loop flag.
    bool Play(int id, bool loop);
    bool Stop(int id);
    bool SetPosition(int id, uint32_t byteOffset);
    // The play cursor in bytes from the start of the buffer (0 for an unknown id).
    uint32_t Position(int id) const;
    bool IsPlaying(int id) const;
    bool SetVolume(int id, int32_t attenuation);
    int32_t Volume(int id) const;
    bool SetPan(int id, int32_t pan);
    int32_t Pan(int id) const;
    bool SetFrequency(int id, uint32_t hertz);
    uint32_t Frequency(int id) const;
    uint32_t BufferBytes(int id) const;
    int BufferCount() const;

    // The music source mixed into every block (nullptr for none). The source must outlive its use.
    void SetMusicSource(MusicSource* source);
    // The music's volume in the mix (hundredths of a decibel, as a buffer's); full at start.
    void SetMusicVolume(int32_t attenuation);
    int32_t MusicVolume() const;
    // The function that refills streaming rings; it must not be called with the mixer's mutex held.
    void SetStreamFeeder(std::function<void()> feeder);

    // Offline: mixes frames stereo frames into out (interleaved), calling the feeder between blocks.
    void Render(int16_t* out, int frames);
    // Frames mixed since the mixer was opened.
    uint64_t FramesMixed() const;

    // The device callback's entry (public for the callback trampoline).
    void MixBlock(int16_t* out, int frames);

private:
    struct SampleData;
    struct Voice;

    Voice* Find(int id);
    const Voice* Find(int id) const;
    void MixVoice(Voice& voice, float* mix, int frames);
    void FeederLoop();
    void StopFeeder();

    mutable std::mutex lock;
    std::vector<Voice> voices;
    std::vector<float> mixScratch;
    std::vector<float> musicScratch;
    MusicSource* music = nullptr;
    int32_t musicVolume = AttenuationFull;
    std::function<void()> feeder;
    std::mutex feederLock;
    uint64_t framesMixed = 0;

    AudioOutput output = AudioOutput::Closed;
    std::string driverName;
    int blockFrames = 512;
    uint32_t deviceId = 0;
    bool sdlAudioStarted = false;

    std::thread feederThread;
    std::condition_variable feederWake;
    std::mutex feederWaitLock;
    bool feederStop = false;
};

// The run's one mixer.
AudioMixer& GameMixer();

// Volume conversions shared by the sound bank: hundredths of a decibel to linear gain and back.
float AttenuationToGain(int32_t attenuation);
