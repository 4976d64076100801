#include "audio/wave_effects.h"

#include "audio/sound_bank.h"
#include "audio/sound_decoder.h"
#include "base/paths.h"
#include "persist/log.h"

namespace {

void ReadWave(WaveFile& wave, ByteSource& source) {
    WaveLayout layout;
    if (!ReadWaveLayout(source, layout, wave.error)) return;
    wave.format = layout.format;
    wave.warning = WaveCutShortText(layout);
    wave.data.resize(layout.dataSize);
    if (source.ReadAt(layout.dataOffset, wave.data.data(), layout.dataSize) != layout.dataSize) {
        wave.error = "sample data truncated";
        wave.data.clear();
        return;
    }
    wave.dataSize = layout.dataSize;
    wave.valid = true;
}

}  // namespace

const char* const WaveEffectFiles[7] = {
    "Sound\\action.wav", "Sound\\fill.wav",     "Sound\\fall.wav",  "Sound\\gameover.wav",
    "Sound\\bonus.wav",  "Sound\\getbonus.wav", "Sound\\level.wav",
};

WaveFile::WaveFile(const std::string& nativePath) {
    FileByteSource source(nativePath);
    if (!source.IsOpen()) {
        error = "cannot open: " + OpenFailureReason();
        return;
    }
    ReadWave(*this, source);
}

WaveFile::WaveFile(const uint8_t* bytes, size_t size) {
    MemoryByteSource source(bytes, size);
    ReadWave(*this, source);
}

int WaveEffects::Init(AudioMixer* mixer) {
    Release();
    if (!mixer || !mixer->IsOpen()) return 1;
    device = mixer;
    ready = true;
    return 0;
}

bool WaveEffects::Load(const std::string& gamePath) {
    if (!ready) {
        // Without an audio device no number is taken and nothing is kept, but the file is still
        // checked, so that a run without sound reports a broken effect too.
        WavDecoder check;
        if (check.Open(LocateGameFile(gamePath)) != 0)
            LogFailure(gamePath, check.error);
        else
            LogWarning(gamePath, check.warning);
        return false;
    }
    if (count == MaxWaveEffects) {
        LogFailure(gamePath, "more than " + std::to_string(MaxWaveEffects) + " effects");
        return false;
    }
    const int number = ++count;  // the number is taken whatever happens next
    Slot& slot = slots[number];
    slot.file = std::make_unique<WaveFile>(LocateGameFile(gamePath));
    if (!slot.file->valid) {
        LogFailure(gamePath, slot.file->error);
        return false;
    }
    LogWarning(gamePath, slot.file->warning);
    slot.buffer = device->CreateBuffer(slot.file->format, slot.file->dataSize, false);
    if (slot.buffer == 0) {
        LogFailure(gamePath, "the mixer has no buffer for its format");
        return false;
    }
    slot.size = slot.file->dataSize;
    device->SetVolume(slot.buffer, VolumeToAttenuation(volume));
    return device->WriteBuffer(slot.buffer, 0, slot.file->data.data(), slot.size);
}

void WaveEffects::SetVolume(float newVolume) {
    volume = newVolume;
    if (!ready) return;
    for (int number = 1; number <= count; ++number)
        if (slots[number].buffer != 0) device->SetVolume(slots[number].buffer, VolumeToAttenuation(volume));
}

void WaveEffects::LogFailure(const std::string& gamePath, const std::string& reason) {
    WriteLog("Wave loading: " + gamePath + " ... FAILED (" + reason + ")", LogTimeStamp);
}

void WaveEffects::LogWarning(const std::string& gamePath, const std::string& warning) {
    if (!warning.empty())
        WriteLog("Wave loading: " + gamePath + " ... OK, but " + warning + " (played as silence)",
                 LogTimeStamp | ::LogWarning);
}

bool WaveEffects::Play(int number, uint32_t flags) {
    if (!ready) return false;
    Stop(number);
    if (number <= 0 || number > count) return false;
    const Slot& slot = slots[number];
    if (!device->SetPosition(slot.buffer, 0)) return false;
    return device->Play(slot.buffer, (flags & 1) != 0);
}

bool WaveEffects::Stop(int number) {
    if (!ready || number <= 0 || number > count) return false;
    return device->Stop(slots[number].buffer);
}

void WaveEffects::Release() {
    for (int number = 1; number <= count; ++number) {
        Slot& slot = slots[number];
        if (device && slot.buffer != 0) device->ReleaseBuffer(slot.buffer);
        slot = Slot();
    }
    count = 0;
    ready = false;
    device = nullptr;
}

uint32_t WaveEffects::Position(int number) const {
    if (!ready || number <= 0 || number > count) return 0;
    return device->Position(slots[number].buffer);
}

bool WaveEffects::IsPlaying(int number) const {
    if (!ready || number <= 0 || number > count) return false;
    return device->IsPlaying(slots[number].buffer);
}

const WaveFile* WaveEffects::File(int number) const {
    if (number <= 0 || number > count) return nullptr;
    return slots[number].file.get();
}

WaveEffects& GameWaveEffects() {
    GameMixer();  // made first, so it outlives the effects' buffers
    static WaveEffects effects;
    return effects;
}

int InitWaveEffects(AudioMixer* mixer) {
    return GameWaveEffects().Init(mixer);
}
bool LoadWaveEffect(const std::string& gamePath) {
    return GameWaveEffects().Load(gamePath);
}
bool PlayWaveEffect(int number, uint32_t flags) {
    return GameWaveEffects().Play(number, flags);
}
bool StopWaveEffect(int number) {
    return GameWaveEffects().Stop(number);
}
void ReleaseWaveEffects() {
    GameWaveEffects().Release();
}

void LoadGameWaveEffects() {
    for (const char* file : WaveEffectFiles) LoadWaveEffect(file);
}
