#include "audio_out/audio_mixer.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

constexpr int MaxVoices = 512;
constexpr int ScratchFrames = 4096;
constexpr int OfflineBlockFrames = 1024;
constexpr auto FeederPeriod = std::chrono::milliseconds(5);

// The id packs a generation above the slot, so an id kept after its buffer was released stays dead.
int MakeId(int slot, uint32_t generation) {
    return static_cast<int>((generation & 0xFFFFF) << 10) | (slot + 1);
}
int SlotOf(int id) {
    return (id & 0x3FF) - 1;
}
uint32_t GenerationOf(int id) {
    return static_cast<uint32_t>(id) >> 10;
}

void SdlCallback(void* userData, Uint8* stream, int length) {
    static_cast<AudioMixer*>(userData)->MixBlock(reinterpret_cast<int16_t*>(stream), length / 4);
}

}  // namespace

bool IsPlayableFormat(const WaveFormat& format) {
    if (format.formatTag != WaveFormatPcm) return false;
    if (format.channels < 1 || format.channels > 2) return false;
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return false;
    if (format.samplesPerSec < 1 || format.samplesPerSec > 384000) return false;
    return format.blockAlign == format.channels * format.bitsPerSample / 8;
}

float AttenuationToGain(int32_t attenuation) {
    if (attenuation <= AttenuationSilent) return 0.0f;
    if (attenuation >= 0) return 1.0f;
    return static_cast<float>(std::pow(10.0, attenuation / 2000.0));
}

struct AudioMixer::SampleData {
    std::vector<uint8_t> bytes;
};

struct AudioMixer::Voice {
    bool used = false;
    uint32_t generation = 0;
    std::shared_ptr<SampleData> data;
    WaveFormat format;
    bool streaming = false;
    uint32_t frames = 0;  // whole sample frames in the buffer
    double cursor = 0;    // in source frames
    bool playing = false;
    bool looping = false;
    int32_t volume = 0;
    int32_t pan = 0;
    uint32_t frequency = 0;
    float gainLeft = 1, gainRight = 1;

    void UpdateGains() {
        const float gain = AttenuationToGain(volume);
        gainLeft = gain * (pan > 0 ? AttenuationToGain(-pan) : 1.0f);
        gainRight = gain * (pan < 0 ? AttenuationToGain(pan) : 1.0f);
    }
};

AudioMixer::AudioMixer()
    : voices(MaxVoices), mixScratch(size_t{ScratchFrames} * 2), musicScratch(size_t{ScratchFrames} * 2) {}

AudioMixer::~AudioMixer() {
    Close();
}

AudioMixer& GameMixer() {
    static AudioMixer mixer;
    return mixer;
}

bool AudioMixer::Open(const AudioNotice& notice, int frames) {
    Close();
    blockFrames = std::clamp(frames, 64, ScratchFrames);
    SDL_AudioSpec want{};
    want.freq = MixRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(blockFrames);
    want.callback = SdlCallback;
    want.userdata = this;

    std::string firstError;
    auto tryOpen = [&]() -> bool {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            if (firstError.empty()) firstError = SDL_GetError();
            return false;
        }
        SDL_AudioSpec have{};
        deviceId = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (deviceId == 0) {
            if (firstError.empty()) firstError = SDL_GetError();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        sdlAudioStarted = true;
        const char* driver = SDL_GetCurrentAudioDriver();
        driverName = driver ? driver : "";
        return true;
    };

    bool opened = tryOpen();
    if (!opened) {
        const std::string failedDriver =
            SDL_GetHint(SDL_HINT_AUDIODRIVER) ? SDL_GetHint(SDL_HINT_AUDIODRIVER) : "";
        if (failedDriver != "dummy") {
            SDL_SetHint(SDL_HINT_AUDIODRIVER, "dummy");
            opened = tryOpen();
            if (opened && notice)
                notice("Audio: no sound device could be opened (" + firstError + "), the game runs silent");
        }
    }
    if (!opened) {
        output = AudioOutput::Silent;
        driverName.clear();
        if (notice) notice("Audio: no audio output at all (" + firstError + "), the game runs silent");
        return false;
    }
    output = AudioOutput::Device;
    feederStop = false;
    feederThread = std::thread([this] { FeederLoop(); });
    SDL_PauseAudioDevice(deviceId, 0);
    return true;
}

void AudioMixer::OpenOffline() {
    Close();
    output = AudioOutput::Offline;
    driverName = "offline";
}

void AudioMixer::StopFeeder() {
    if (!feederThread.joinable()) return;
    {
        std::lock_guard<std::mutex> wait(feederWaitLock);
        feederStop = true;
    }
    feederWake.notify_all();
    feederThread.join();
}

void AudioMixer::Close() {
    if (deviceId != 0) {
        SDL_CloseAudioDevice(deviceId);  // waits for a running callback
        deviceId = 0;
    }
    StopFeeder();
    if (sdlAudioStarted) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdlAudioStarted = false;
    }
    std::vector<std::shared_ptr<SampleData>> freed;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (Voice& voice : voices) {
            if (voice.used) freed.push_back(std::move(voice.data));
            const uint32_t generation = voice.generation + 1;
            voice = Voice();
            voice.generation = generation;
        }
        music = nullptr;
        framesMixed = 0;
    }
    output = AudioOutput::Closed;
    driverName.clear();
}

bool AudioMixer::IsOpen() const {
    return output == AudioOutput::Device || output == AudioOutput::Offline;
}

AudioMixer::Voice* AudioMixer::Find(int id) {
    const int slot = SlotOf(id);
    if (id <= 0 || slot < 0 || slot >= MaxVoices) return nullptr;
    Voice& voice = voices[slot];
    if (!voice.used || (voice.generation & 0xFFFFF) != GenerationOf(id)) return nullptr;
    return &voice;
}

const AudioMixer::Voice* AudioMixer::Find(int id) const {
    return const_cast<AudioMixer*>(this)->Find(id);
}

int AudioMixer::CreateBuffer(const WaveFormat& format, uint32_t bytes, bool streaming) {
    if (!IsOpen() || !IsPlayableFormat(format)) return 0;
    const uint32_t frames = bytes / format.blockAlign;
    if (frames == 0 || bytes > (1u << 30)) return 0;
    auto data = std::make_shared<SampleData>();
    data->bytes.assign(static_cast<size_t>(frames) * format.blockAlign, 0);  // allocated outside the lock
    std::lock_guard<std::mutex> guard(lock);
    for (int slot = 0; slot < MaxVoices; ++slot) {
        Voice& voice = voices[slot];
        if (voice.used) continue;
        const uint32_t generation = voice.generation;
        voice = Voice();
        voice.used = true;
        voice.generation = generation;
        voice.data = std::move(data);
        voice.format = format;
        voice.streaming = streaming;
        voice.frames = frames;
        voice.frequency = format.samplesPerSec;
        voice.UpdateGains();
        return MakeId(slot, generation);
    }
    return 0;  // table full: data is freed after the guard has let go (reverse declaration order)
}

int AudioMixer::DuplicateBuffer(int id) {
    std::lock_guard<std::mutex> guard(lock);
    const Voice* source = Find(id);
    if (!source) return 0;
    for (int slot = 0; slot < MaxVoices; ++slot) {
        Voice& voice = voices[slot];
        if (voice.used) continue;
        const uint32_t generation = voice.generation;
        voice = *source;  // copies a shared_ptr: no sample memory is allocated under the lock
        voice.generation = generation;
        voice.cursor = 0;
        voice.playing = false;
        voice.looping = false;
        return MakeId(slot, generation);
    }
    return 0;
}

void AudioMixer::ReleaseBuffer(int id) {
    std::shared_ptr<SampleData> freed;
    {
        std::lock_guard<std::mutex> guard(lock);
        Voice* voice = Find(id);
        if (!voice) return;
        freed = std::move(voice->data);
        const uint32_t generation = voice->generation + 1;
        *voice = Voice();
        voice->generation = generation;
    }
    // freed goes out of scope here, so sample memory is returned outside the lock
}

bool AudioMixer::WriteBuffer(int id, uint32_t offset, const void* source, uint32_t count) {
    std::lock_guard<std::mutex> guard(lock);
    Voice* voice = Find(id);
    if (!voice || source == nullptr) return false;
    std::vector<uint8_t>& bytes = voice->data->bytes;
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    if (count > size) return false;
    offset %= size;
    const uint32_t first = std::min(count, size - offset);
    std::memcpy(bytes.data() + offset, source, first);
    if (first < count) std::memcpy(bytes.data(), static_cast<const uint8_t*>(source) + first, count - first);
    return true;
}

bool AudioMixer::Play(int id, bool loop) {
    std::lock_guard<std::mutex> guard(lock);
    Voice* voice = Find(id);
    if (!voice) return false;
    voice->looping = loop;
    voice->playing = true;
    return true;
}

bool AudioMixer::Stop(int id) {
    std::lock_guard<std::mutex> guard(lock);
    Voice* voice = Find(id);
    if (!voice) return false;
    voice->playing = false;
    return true;
}

bool AudioMixer::SetPosition(int id, uint32_t byteOffset) {
    std::lock_guard<std::mutex> guard(lock);
    Voice* voice = Find(id);
    if (!voice) return false;
    const uint32_t frame = byteOffset / voice->format.blockAlign;
    if (frame >= voice->frames) return false;
    voice->cursor = frame;
    return true;
}

uint32_t AudioMixer::Position(int id) const {
    std::lock_guard<std::mutex> guard(lock);
    const Voice* voice = Find(id);
    if (!voice) return 0;
    return static_cast<uint32_t>(voice->cursor) * voice->format.blockAlign;
}

bool AudioMixer::IsPlaying(int id) const {
    std::lock_guard<std::mutex> guard(lock);
    const Voice* voice = Find(id);
    return voice && voice->playing;
}

bool AudioMixer::SetVolume(int id, int32_t attenuation) {
    std::lock_guard<std::mutex> guard(lock);
    Voice* voice = Find(id);
    if (!voice) return false;
    voice->volume = std::clamp(attenuation, AttenuationSilent, AttenuationFull);
    voice->UpdateGains();
    return true;
}

int32_t AudioMixer::Volume(int id) const {
    std::lock_guard<std::mutex> guard(lock);
    const Voice* voice = Find(id);
    return voice ? voice->volume : AttenuationSilent;
}

bool AudioMixer::SetPan(int id, int32_t pan) {
    std::lock_guard<std::mutex> guard(lock);
    Voice* voice = Find(id);
    if (!voice) return false;
    voice->pan = std::clamp(pan, PanLeft, PanRight);
    voice->UpdateGains();
    return true;
}

int32_t AudioMixer::Pan(int id) const {
    std::lock_guard<std::mutex> guard(lock);
    const Voice* voice = Find(id);
    return voice ? voice->pan : 0;
}

bool AudioMixer::SetFrequency(int id, uint32_t hertz) {
    std::lock_guard<std::mutex> guard(lock);
    Voice* voice = Find(id);
    if (!voice) return false;
    voice->frequency = std::clamp(hertz, MinBufferFrequency, MaxBufferFrequency);
    return true;
}

uint32_t AudioMixer::Frequency(int id) const {
    std::lock_guard<std::mutex> guard(lock);
    const Voice* voice = Find(id);
    return voice ? voice->frequency : 0;
}

uint32_t AudioMixer::BufferBytes(int id) const {
    std::lock_guard<std::mutex> guard(lock);
    const Voice* voice = Find(id);
    return voice ? voice->frames * voice->format.blockAlign : 0;
}

int AudioMixer::BufferCount() const {
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<int>(
        std::count_if(voices.begin(), voices.end(), [](const Voice& v) { return v.used; }));
}

void AudioMixer::SetMusicVolume(int32_t attenuation) {
    std::lock_guard<std::mutex> guard(lock);
    musicVolume = std::clamp(attenuation, AttenuationSilent, AttenuationFull);
}

int32_t AudioMixer::MusicVolume() const {
    std::lock_guard<std::mutex> guard(lock);
    return musicVolume;
}

void AudioMixer::SetMusicSource(MusicSource* source) {
    std::lock_guard<std::mutex> guard(lock);
    music = source;
}

void AudioMixer::SetStreamFeeder(std::function<void()> function) {
    std::lock_guard<std::mutex> guard(feederLock);
    feeder = std::move(function);
}

uint64_t AudioMixer::FramesMixed() const {
    std::lock_guard<std::mutex> guard(lock);
    return framesMixed;
}

void AudioMixer::FeederLoop() {
    std::unique_lock<std::mutex> wait(feederWaitLock);
    while (!feederStop) {
        feederWake.wait_for(wait, FeederPeriod, [this] { return feederStop; });
        if (feederStop) break;
        wait.unlock();
        {
            std::lock_guard<std::mutex> guard(feederLock);
            if (feeder) feeder();
        }
        wait.lock();
    }
}

void AudioMixer::Render(int16_t* out, int frames) {
    while (frames > 0) {
        {
            std::lock_guard<std::mutex> guard(feederLock);
            if (feeder) feeder();
        }
        const int block = std::min(frames, OfflineBlockFrames);
        MixBlock(out, block);
        out += ptrdiff_t{block} * 2;
        frames -= block;
    }
}

namespace {

template <int Bits>
float SampleAt(const uint8_t* frame, int channel) {
    if constexpr (Bits == 8) {
        return (static_cast<int>(frame[channel]) - 128) * (1.0f / 128.0f);
    } else {
        const uint8_t* p = frame + ptrdiff_t{channel} * 2;
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))) * (1.0f / 32768.0f);
    }
}

// Adds frames output frames of one buffer to mix, advancing the cursor by step source frames per
// output frame with linear interpolation. Returns false when a buffer that plays once ran out.
template <int Bits, int Channels>
bool MixSpan(const uint8_t* bytes, uint32_t sourceFrames, bool wraps, double& cursor, double step,
             float gainLeft, float gainRight, float* mix, int frames) {
    constexpr int frameBytes = Channels * Bits / 8;
    const double end = sourceFrames;
    for (int i = 0; i < frames; ++i) {
        const uint32_t index = static_cast<uint32_t>(cursor);
        const float frac = static_cast<float>(cursor - index);
        uint32_t next = index + 1;
        if (next >= sourceFrames) next = wraps ? 0 : index;
        const uint8_t* a = bytes + static_cast<size_t>(index) * frameBytes;
        const uint8_t* b = bytes + static_cast<size_t>(next) * frameBytes;
        float left = SampleAt<Bits>(a, 0);
        if (frac != 0.0f) left += (SampleAt<Bits>(b, 0) - left) * frac;
        float right = left;
        if constexpr (Channels == 2) {
            right = SampleAt<Bits>(a, 1);
            if (frac != 0.0f) right += (SampleAt<Bits>(b, 1) - right) * frac;
        }
        mix[ptrdiff_t{2} * i] += left * gainLeft;
        mix[ptrdiff_t{2} * i + 1] += right * gainRight;
        cursor += step;
        if (cursor >= end) {
            if (!wraps) {
                cursor = 0;
                return false;
            }
            cursor = std::fmod(cursor, end);
        }
    }
    return true;
}

}  // namespace

void AudioMixer::MixVoice(Voice& voice, float* mix, int frames) {
    const double step = static_cast<double>(voice.frequency) / MixRate;
    const bool wraps = voice.looping || voice.streaming;
    const uint8_t* bytes = voice.data->bytes.data();
    bool still = true;
    const int kind = voice.format.bitsPerSample * 10 + voice.format.channels;
    switch (kind) {
        case 81:
            still = MixSpan<8, 1>(bytes, voice.frames, wraps, voice.cursor, step, voice.gainLeft,
                                  voice.gainRight, mix, frames);
            break;
        case 82:
            still = MixSpan<8, 2>(bytes, voice.frames, wraps, voice.cursor, step, voice.gainLeft,
                                  voice.gainRight, mix, frames);
            break;
        case 161:
            still = MixSpan<16, 1>(bytes, voice.frames, wraps, voice.cursor, step, voice.gainLeft,
                                   voice.gainRight, mix, frames);
            break;
        default:
            still = MixSpan<16, 2>(bytes, voice.frames, wraps, voice.cursor, step, voice.gainLeft,
                                   voice.gainRight, mix, frames);
            break;
    }
    if (!still) voice.playing = false;
}

void AudioMixer::MixBlock(int16_t* out, int frames) {
    std::lock_guard<std::mutex> guard(lock);
    while (frames > 0) {
        const int block = std::min(frames, ScratchFrames);
        float* mix = mixScratch.data();
        std::fill(mix, mix + ptrdiff_t{block} * 2, 0.0f);
        for (Voice& voice : voices)
            if (voice.used && voice.playing && (voice.gainLeft > 0 || voice.gainRight > 0))
                MixVoice(voice, mix, block);
            else if (voice.used && voice.playing) {
                // Silent voices still move on, so they end and their cursor stays true.
                float* discard = musicScratch.data();
                std::fill(discard, discard + ptrdiff_t{block} * 2, 0.0f);
                MixVoice(voice, discard, block);
            }
        if (music) {
            float* stereo = musicScratch.data();
            std::fill(stereo, stereo + ptrdiff_t{block} * 2, 0.0f);
            music->RenderMusic(stereo, block);
            const float gain = AttenuationToGain(musicVolume);
            for (int i = 0; i < block * 2; ++i) mix[i] += stereo[i] * gain;
        }
        for (int i = 0; i < block * 2; ++i) {
            const float scaled = mix[i] * 32768.0f;
            out[i] = static_cast<int16_t>(std::lround(std::clamp(scaled, -32768.0f, 32767.0f)));
        }
        framesMixed += static_cast<uint64_t>(block);
        out += ptrdiff_t{block} * 2;
        frames -= block;
    }
}
