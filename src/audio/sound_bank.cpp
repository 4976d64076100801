#include "audio/sound_bank.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

#include "audio/music_player.h"
#include "audio/wave_effects.h"
#include "base/paths.h"
#include "base/random.h"
#include "headless/trace.h"
#include "persist/log.h"

namespace {

std::recursive_mutex& SoundMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

using SoundGuard = std::lock_guard<std::recursive_mutex>;

struct SoundList {
    std::vector<Sound*> slots;
    SoundList() { slots.reserve(100); }
};

SoundList& List() {
    static SoundList list;
    return list;
}

std::array<float, 4> groupVolumes{};
AudioMixer* device = nullptr;
SoundMessageBox messageBox;

void RegisterSound(Sound* sound) {
    std::vector<Sound*>& slots = List().slots;
    for (Sound*& slot : slots)
        if (slot == nullptr) {
            slot = sound;
            return;
        }
    if (slots.size() == slots.capacity()) slots.reserve(slots.capacity() + slots.capacity() / 2);
    slots.push_back(sound);
}

void UnregisterSound(Sound* sound) {
    for (Sound*& slot : List().slots)
        if (slot == sound) slot = nullptr;
}

bool SameKey(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void ReportBadFile(const std::string& path) {
    if (messageBox)
        messageBox(path, "sound file is bad");
    else
        WriteLog("sound file is bad: " + path, LogWarning);
}

}  // namespace

int32_t VolumeToAttenuation(float volume) {
    const float v = std::clamp(volume, 0.0f, 1.0f);
    const long n = std::lround(255.0f * v);  // in single precision, as the game always did: 0.9 gives 230
    const double a = 1.0 + (9.0 / 8.0) * std::log2(1.0 + static_cast<double>(n));
    return static_cast<int32_t>(std::lround(10000.0 * std::log10(a))) - 10000;
}

float AttenuationToVolume(int32_t attenuation) {
    const double a = std::pow(10.0, (attenuation + 10000) / 10000.0);
    const long n = std::lround(std::pow(2.0, (a - 1.0) * 8.0 / 9.0) - 1.0);
    return static_cast<float>(std::clamp(n, 0L, 255L)) / 255.0f;
}

void AttachSoundDevice(AudioMixer* mixer) {
    // The feeder is set outside the sound mutex: the feeder thread takes the feeder's lock first and
    // then the sound mutex, so holding them the other way round here could deadlock.
    if (device && device != mixer) device->SetStreamFeeder(nullptr);
    {
        SoundGuard guard(SoundMutex());
        device = (mixer && mixer->IsOpen()) ? mixer : nullptr;
    }
    if (device) device->SetStreamFeeder(UpdateStreamingSounds);
}

AudioMixer* AttachedSoundDevice() {
    SoundGuard guard(SoundMutex());
    return device;
}

int SoundListSlots() {
    SoundGuard guard(SoundMutex());
    return static_cast<int>(List().slots.size());
}

int LiveSoundCount() {
    SoundGuard guard(SoundMutex());
    return static_cast<int>(
        std::count_if(List().slots.begin(), List().slots.end(), [](Sound* s) { return s != nullptr; }));
}

void UpdateStreamingSounds() {
    SoundGuard guard(SoundMutex());
    for (Sound* sound : List().slots)
        if (sound && (sound->Flags() & SoundStreaming)) sound->Update();
}

void ReleaseAllSounds() {
    SoundGuard guard(SoundMutex());
    std::vector<Sound*> all = List().slots;
    for (Sound* sound : all) delete sound;
    List().slots.clear();
    GameSoundBank().entries.clear();
}

void SetGroupVolume(float v, SoundGroup group) {
    SoundGuard guard(SoundMutex());
    groupVolumes[group & 3] = v;
    std::vector<Sound*>& slots = List().slots;
    for (size_t i = slots.size(); i-- > 0;)
        if (slots[i]) slots[i]->SetVolume(slots[i]->SoundBase::GetVolume());
}

float GroupVolume(SoundGroup group) {
    SoundGuard guard(SoundMutex());
    return groupVolumes[group & 3];
}

void SetSoundMessageBox(SoundMessageBox function) {
    messageBox = std::move(function);
}

Sound::Sound(const std::string& name, const std::string& key, SoundGroup group) : name(name), key(key) {
    flags = (static_cast<uint32_t>(group) << SoundGroupShift) & SoundGroupMask;
    SoundGuard guard(SoundMutex());
    RegisterSound(this);
}

Sound::~Sound() {
    SoundGuard guard(SoundMutex());
    ReleaseBuffer();
    UnregisterSound(this);
}

void Sound::Load() {
    bool bad = false;
    {
        SoundGuard guard(SoundMutex());
        loadError.clear();
        loadWarning.clear();
        if (name.empty()) return;
        if (device == nullptr) {
            // Nothing can be heard, so nobody is bothered with a box: the file is only checked.
            std::unique_ptr<SoundDecoder> check = MakeDecoder(name);
            if (!check)
                loadError = "not a .wav or .ogg file";
            else if (check->Open(LocateGameFile(name)) != 0)
                loadError = check->error;
            else
                loadWarning = check->warning;
            return;
        }
        ReleaseBuffer();
        decoder = MakeDecoder(name);
        if (!decoder || decoder->Open(LocateGameFile(name)) != 0) {
            loadError = decoder ? decoder->error : "not a .wav or .ogg file";
            decoder.reset();
            bad = true;
        } else {
            loadWarning = decoder->warning;
            bytesWritten = 0;
            const bool streamed = decoder->total > StreamThresholdBytes || Group() == MusicGroup;
            if (streamed) {
                buffer = device->CreateBuffer(decoder->format, StreamBufferBytes, true);
                if (buffer != 0) {
                    scratch.resize(StreamBufferBytes);
                    Fill(0, StreamBufferBytes);
                } else {
                    decoder.reset();
                }
            } else {
                buffer = device->CreateBuffer(decoder->format, decoder->total, false);
                if (buffer != 0) {
                    scratch.resize(decoder->total);
                    Fill(0, decoder->total);
                }
                scratch.clear();
                scratch.shrink_to_fit();
                decoder.reset();
            }
            if (buffer != 0)
                SetVolume(volume);
            else
                loadError = "the mixer has no buffer for its format";
        }
    }
    // Reported outside the lock: a message box can block, and the feeder must not wait for it.
    if (bad) ReportBadFile(name);
}

void Sound::ReleaseBuffer() {
    SoundGuard guard(SoundMutex());
    if (buffer != 0 && device) device->ReleaseBuffer(buffer);
    buffer = 0;
    decoder.reset();
    flags &= ~(SoundPlaying | SoundStreaming);
}

void Sound::Fill(uint32_t offset, uint32_t count) {
    if (!decoder || buffer == 0 || count == 0) return;
    if (scratch.size() < count) scratch.resize(count);
    decoder->Read(scratch.data(), count, (flags & SoundLooping) != 0);
    device->WriteBuffer(buffer, offset, scratch.data(), count);
    bytesWritten += count;
}

bool Sound::Play(bool loop) {
    SoundGuard guard(SoundMutex());
    flags = loop ? flags | SoundLooping : flags & ~SoundLooping;
    if (buffer == 0 || device == nullptr) return false;
    const bool streamed = decoder != nullptr;
    if (!device->Play(buffer, loop || streamed)) return false;
    flags |= SoundPlaying;
    if (streamed) flags |= SoundStreaming;
    return true;
}

void Sound::Stop() {
    SoundGuard guard(SoundMutex());
    flags &= ~SoundStreaming;
    if (buffer != 0 && device) {
        device->Stop(buffer);
        device->SetPosition(buffer, 0);
        if (decoder) {
            bytesWritten = 0;
            decoder->Rewind();
            Fill(0, StreamBufferBytes);
        }
    }
    flags &= ~SoundPlaying;
}

void Sound::Pause() {
    SoundGuard guard(SoundMutex());
    flags &= ~SoundStreaming;
    if (buffer != 0 && device) device->Stop(buffer);
    flags &= ~SoundPlaying;
}

bool Sound::IsPlaying() {
    SoundGuard guard(SoundMutex());
    if (buffer == 0 || device == nullptr || (flags & SoundPlaying) == 0) return false;
    if (!device->IsPlaying(buffer)) flags &= ~SoundPlaying;
    return (flags & SoundPlaying) != 0;
}

void Sound::SetVolume(float v) {
    SoundGuard guard(SoundMutex());
    volume = v;
    if (buffer != 0 && device) device->SetVolume(buffer, VolumeToAttenuation(v * groupVolumes[Group()]));
}

float Sound::GetVolume() const {
    SoundGuard guard(SoundMutex());
    const float group = groupVolumes[Group()];
    // With the group silent the device volume says nothing about the sound's own volume.
    if (buffer == 0 || device == nullptr || group <= 0) return volume;
    return AttenuationToVolume(device->Volume(buffer)) / group;
}

void Sound::SetPan(float p) {
    SoundGuard guard(SoundMutex());
    pan = p;
    if (buffer == 0 || device == nullptr) return;
    const float magnitude = std::min(std::fabs(p), 1.0f);
    const int sign = p > 0 ? 1 : (p < 0 ? -1 : 0);
    device->SetPan(buffer, -(sign * VolumeToAttenuation(1.0f - magnitude)));
}

float Sound::GetPan() const {
    return pan;
}

void Sound::SetFrequency(float f) {
    SoundGuard guard(SoundMutex());
    if (buffer == 0 || device == nullptr) return;
    const double hertz = std::clamp(std::round(static_cast<double>(f) * MixRate), 100.0, 100000.0);
    device->SetFrequency(buffer, static_cast<uint32_t>(hertz));
}

float Sound::GetFrequency() const {
    SoundGuard guard(SoundMutex());
    if (buffer == 0 || device == nullptr) return 0;
    return static_cast<float>(device->Frequency(buffer)) / MixRate;
}

Sound* Sound::Clone() {
    Sound* copy = nullptr;
    bool streamed = false;
    {
        SoundGuard guard(SoundMutex());
        copy = new Sound(name, key, Group());
        copy->volume = volume;
        copy->loadError = loadError;
        copy->loadWarning = loadWarning;
        copy->flags |= flags & (SoundLooping | SoundUserBit);
        streamed = decoder != nullptr;
        if (!streamed && buffer != 0 && device) {
            copy->buffer = device->DuplicateBuffer(buffer);
            if (copy->buffer != 0) copy->SetVolume(copy->volume);
        }
    }
    // A streamed sound opens its own decoder, outside the lock: a file that no longer decodes is
    // reported in a message box, and the feeder must not wait for it.
    if (streamed) copy->Load();
    return copy;
}

void Sound::Update() {
    SoundGuard guard(SoundMutex());
    if (!decoder || buffer == 0 || device == nullptr) return;
    const uint32_t cursor = device->Position(buffer);
    const uint32_t writePoint = bytesWritten % StreamBufferBytes;
    const uint32_t free =
        writePoint <= cursor ? cursor - writePoint : cursor + StreamBufferBytes - writePoint;
    if (free == 0) return;
    Fill(writePoint, free);
    if ((flags & SoundLooping) == 0) {
        // After the fill the ring holds the next 131072 bytes from the cursor on, so everything
        // written before them has been played.
        const uint32_t played = bytesWritten - StreamBufferBytes;
        if (played >= decoder->total) Stop();
    }
}

Sound* CreateSound(const std::string& path, SoundGroup group) {
    if (path.empty()) return nullptr;
    Sound* original = nullptr;
    {
        SoundGuard guard(SoundMutex());
        for (Sound* sound : List().slots)
            if (sound && SameKey(sound->Key(), path)) {
                original = sound;
                break;
            }
    }
    if (original) return original->Clone();
    Sound* sound = new Sound(path, path, group);
    sound->Load();
    return sound;
}

SoundBank& GameSoundBank() {
    static SoundBank bank;
    return bank;
}

bool SoundBank::AddSoundEvent(const std::string& eventName, const std::vector<std::string>& files,
                              float eventVolume) {
    if (eventName.empty() || events.size() >= MaxSoundEvents) return false;
    SoundEvent event;
    event.name = eventName;
    event.files.assign(files.begin(), files.begin() + std::min<size_t>(files.size(), MaxEventFiles));
    event.volume = eventVolume;
    events.push_back(std::move(event));
    return true;
}

void SoundBank::DefineBuiltInEvents() {
    for (const SoundEvent& event : events)
        if (event.name == "type_01") return;
    AddSoundEvent("type_01", {"Sound\\type_1.ogg", "Sound\\type_2.ogg", "Sound\\type_3.ogg"}, 1.0f);
}

bool SoundBank::PlaySoundFile(const std::string& fileName) {
    // Traced as asked for: a headless run has no audio device to play it on.
    TraceEvent("sound", {{"file", fileName}});
    return PlaySound(FindOrLoadSound(fileName), false);
}

bool SoundBank::PlaySoundEvent(const std::string& eventName) {
    const int index = PrepareSoundEvent(eventName);
    TraceEvent("sound", {{"name", eventName},
                         {"file", index >= 0 ? entries[static_cast<size_t>(index)].fileName : ""}});
    return PlaySound(index, false);
}

int SoundBank::FindOrLoadSound(const std::string& fileName) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].fileName == fileName) return static_cast<int>(i);
    if (!AddSound(fileName, EffectsGroup)) return -1;
    return SoundCount() - 1;
}

bool SoundBank::AddSound(const std::string& fileName, SoundGroup group) {
    if (entries.size() >= MaxBankSounds) {
        WriteLog("too many sound files", LogWarning);
        return false;
    }
    Sound* sound = CreateSound(fileName, group);
    if (!sound) {
        WriteLog("OGG sound loading: " + fileName + " ... FAILED");
        return false;
    }
    // A file that cannot be played still takes its place in the bank, and plays nothing.
    entries.push_back({fileName, sound});
    if (sound->LoadError().empty() && sound->LoadWarning().empty())
        WriteLog("OGG sound loading: " + fileName + " ... OK");
    else if (sound->LoadError().empty())
        WriteLog("OGG sound loading: " + fileName + " ... OK, but " + sound->LoadWarning(), LogWarning);
    else
        WriteLog("OGG sound loading: " + fileName + " ... FAILED (" + sound->LoadError() + ")");
    return true;
}

bool SoundBank::PlaySound(int index, bool loop) {
    if (index < 0 || index >= SoundCount()) return false;
    Sound* sound = entries[index].sound;
    sound->Stop();
    return sound->Play(loop);
}

int SoundBank::PrepareSoundEvent(const std::string& eventName) {
    const SoundEvent* found = nullptr;
    for (const SoundEvent& event : events)
        if (event.name == eventName) found = &event;
    if (!found || found->files.empty()) {
        WriteLog("Warning: couldn't find sound event - " + eventName);
        return -1;
    }
    const int count = static_cast<int>(found->files.size());
    const int pick = count == 1 ? 0 : RandomInt(0, count - 1);
    const float eventVolume = found->volume;
    const int index = FindOrLoadSound(found->files[pick]);
    if (index < 0) return -1;
    entries[index].sound->SetVolume(effectsVolume * eventVolume);
    return index;
}

void SoundBank::SetEffectsVolume(float v) {
    SetGroupVolume(v, EffectsGroup);
    effectsVolume = v;
}

void SoundBank::SetMusicVolume(float v) {
    SetGroupVolume(v, MusicGroup);
    musicVolume = v;
}

Sound* SoundBank::SoundAt(int index) const {
    return index >= 0 && index < SoundCount() ? entries[index].sound : nullptr;
}

std::string SoundBank::SoundFileName(int index) const {
    return index >= 0 && index < SoundCount() ? entries[index].fileName : std::string();
}

void SoundBank::Reset() {
    events.clear();
    entries.clear();
    musicVolume = 0;
    effectsVolume = 0;
}

void InitSoundBank(AudioMixer* mixer, bool soundOn, bool musicOn) {
    AttachSoundDevice(mixer);
    SoundBank& bank = GameSoundBank();
    bank.DefineBuiltInEvents();
    bank.SetEffectsVolume(soundOn ? 1.0f : 0.0f);
    bank.SetMusicVolume(musicOn ? 1.0f : 0.0f);
}

void ReleaseSoundBank() {
    ReleaseAllSounds();
    AttachSoundDevice(nullptr);
}

bool PlaySoundFile(const std::string& fileName) {
    return GameSoundBank().PlaySoundFile(fileName);
}
bool PlaySoundEvent(const std::string& eventName) {
    return GameSoundBank().PlaySoundEvent(eventName);
}
// The game's two volumes reach everything of their kind: the effects group of the bank and the wave
// effects, the music group of the bank and the MIDI music in the mix.
void SetEffectsVolume(float v) {
    GameSoundBank().SetEffectsVolume(v);
    GameWaveEffects().SetVolume(v);
}
void SetMusicVolume(float v) {
    GameSoundBank().SetMusicVolume(v);
    GameMusicPlayer().SetVolume(v);
}
