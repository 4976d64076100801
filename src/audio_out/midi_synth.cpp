#include "audio_out/midi_synth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>

#include "base/paths.h"

namespace {

constexpr size_t MaxMidiFileBytes = 16u << 20;
constexpr uint64_t MaxTicks = 0x7FFFFFFF;

uint32_t Be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// A MIDI variable-length number: at most four bytes of seven bits.
bool ReadVarLength(const uint8_t*& p, const uint8_t* end, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (p >= end) return false;
        const uint8_t byte = *p++;
        value = (value << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) return true;
    }
    return false;
}

// Walks one track's events; returns false on an event that runs past the chunk or makes no sense.
bool ParseTrack(const uint8_t* p, const uint8_t* end, uint64_t& ticks, std::string& error) {
    ticks = 0;
    uint8_t runningStatus = 0;
    while (p < end) {
        uint32_t delta = 0;
        if (!ReadVarLength(p, end, delta)) {
            error = "bad delta time";
            return false;
        }
        ticks = std::min<uint64_t>(ticks + delta, MaxTicks);
        if (p >= end) {
            error = "event missing after delta time";
            return false;
        }
        uint8_t status = *p;
        if (status & 0x80) {
            ++p;
        } else {
            if (runningStatus == 0) {
                error = "data byte without a status";
                return false;
            }
            status = runningStatus;
        }
        if (status == 0xFF) {
            if (p >= end) {
                error = "truncated meta event";
                return false;
            }
            const uint8_t type = *p++;
            uint32_t length = 0;
            if (!ReadVarLength(p, end, length) || length > static_cast<size_t>(end - p)) {
                error = "meta event runs past its track";
                return false;
            }
            p += length;
            runningStatus = 0;
            if (type == 0x2F) return true;  // end of track
        } else if (status == 0xF0 || status == 0xF7) {
            uint32_t length = 0;
            if (!ReadVarLength(p, end, length) || length > static_cast<size_t>(end - p)) {
                error = "system-exclusive event runs past its track";
                return false;
            }
            p += length;
            runningStatus = 0;
        } else if (status >= 0xF1) {
            error = "system message inside a file";
            return false;
        } else {
            const uint8_t kind = status & 0xF0;
            const int dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
            if (end - p < dataBytes) {
                error = "channel event runs past its track";
                return false;
            }
            for (int i = 0; i < dataBytes; ++i)
                if (p[i] & 0x80) {
                    error = "bad channel event data";
                    return false;
                }
            p += dataBytes;
            runningStatus = status;
        }
    }
    return true;  // a track without its end marker ends with its chunk
}

// The synth's last error message on this thread: its own log is silenced, but a soundfont that does
// not load is reported with the synth's reason.
thread_local std::string lastSynthError;

void KeepSynthError(int, const char* message, void*) {
    lastSynthError = message ? message : "";
}

void SilenceSynthLog() {
    static bool done = false;
    if (done) return;
    done = true;
    for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);
    for (int level : {FLUID_PANIC, FLUID_ERR}) fluid_set_log_function(level, KeepSynthError, nullptr);
}

}  // namespace

MidiFileInfo ParseMidiFile(const uint8_t* data, size_t size) {
    MidiFileInfo info;
    if (data == nullptr || size < 14 || Be32(data) != 0x4D546864) {  // "MThd"
        info.error = "no MIDI header";
        return info;
    }
    if (size > MaxMidiFileBytes) {
        info.error = "file too large";
        return info;
    }
    const uint32_t headerLength = Be32(data + 4);
    if (headerLength < 6 || headerLength > size - 8) {
        info.error = "bad header length";
        return info;
    }
    info.format = Be16(data + 8);
    info.trackCount = Be16(data + 10);
    info.division = Be16(data + 12);
    if (info.format > 2) {
        info.error = "unknown MIDI format";
        return info;
    }
    if (info.trackCount == 0) {
        info.error = "no tracks";
        return info;
    }
    if (info.division == 0 || (info.division & 0x8000)) {
        info.error = "unsupported timing division";
        return info;
    }
    size_t at = 8 + static_cast<size_t>(headerLength);
    int tracksFound = 0;
    uint64_t longest = 0;
    while (tracksFound < info.trackCount) {
        if (size - at < 8) {
            info.error = "missing track " + std::to_string(tracksFound + 1);
            return info;
        }
        const uint32_t id = Be32(data + at);
        const uint32_t length = Be32(data + at + 4);
        at += 8;
        if (length > size - at) {
            info.error = "chunk runs past the end of the file";
            return info;
        }
        if (id == 0x4D54726B) {  // "MTrk"
            uint64_t ticks = 0;
            if (!ParseTrack(data + at, data + at + length, ticks, info.error)) {
                info.error = "track " + std::to_string(tracksFound + 1) + ": " + info.error;
                return info;
            }
            longest = std::max(longest, ticks);
            ++tracksFound;
        }
        at += length;
    }
    info.totalTicks = static_cast<uint32_t>(longest);
    info.valid = true;
    return info;
}

struct MidiSynthState {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* player = nullptr;
    bool hasSoundFont = false;
    int soundFontId = -1;
    std::vector<std::vector<uint8_t>> songs;
    std::vector<uint32_t> songTicks;
    // The song now playing (or waiting for the fade before it to end).
    bool playing = false;
    int loops = 0;      // plays in all (repeats + 1)
    int wrapsSeen = 0;  // times the player went back to the start
    int lastTick = 0;
    uint32_t parsedTicks = 0;
    // Something may sound: a song started since the synth was last silenced.
    bool audible = false;
    // A stop in progress: the fade, then the reset and a few silent milliseconds.
    bool fading = false;
    int fadeFramesLeft = 0;
    // Reset after a stop: the output is muted until a song starts.
    bool silenced = false;
    int holdFramesLeft = 0;
    // The song that starts when the fade ends (-1 for none).
    int pendingSong = -1;
    float pendingGain = DefaultSynthGain;
};

namespace {

// The synth's output after a reset still carries a few milliseconds of what sounded before, and its
// reverb keeps what it held: the output stays muted after a stop until a song starts, and a song
// that waits for the stop starts these frames after the reset.
constexpr int StopHoldFrames = 512;

// Loads the soundfont into the synth; false with the synth's own reason when it does not load.
bool LoadFont(MidiSynthState& state, const std::string& soundFontPath, std::string& error) {
    if (soundFontPath.empty()) {
        error = "no soundfont";
        return false;
    }
    lastSynthError.clear();
    const int id = fluid_synth_sfload(state.synth, soundFontPath.c_str(), 1);
    if (id == FLUID_FAILED) {
        error = "soundfont does not load: " + soundFontPath +
                (lastSynthError.empty() ? "" : " (" + lastSynthError + ")");
        return false;
    }
    state.soundFontId = id;
    state.hasSoundFont = true;
    return true;
}

void DropPlayer(MidiSynthState& state) {
    if (state.player) {
        fluid_player_stop(state.player);
        delete_fluid_player(state.player);
        state.player = nullptr;
    }
    state.playing = false;
}

bool StartSong(MidiSynthState& state, int song, float gain) {
    fluid_player_t* player = new_fluid_player(state.synth);
    if (!player) return false;
    const std::vector<uint8_t>& bytes = state.songs[static_cast<size_t>(song)];
    if (fluid_player_add_mem(player, bytes.data(), bytes.size()) != FLUID_OK) {
        delete_fluid_player(player);
        return false;
    }
    fluid_player_set_loop(player, state.loops);
    fluid_synth_set_gain(state.synth, gain);
    if (fluid_player_play(player) != FLUID_OK) {
        delete_fluid_player(player);
        return false;
    }
    state.player = player;
    state.playing = true;
    state.audible = true;
    state.silenced = false;
    state.wrapsSeen = 0;
    state.lastTick = 0;
    state.parsedTicks = state.songTicks[static_cast<size_t>(song)];
    return true;
}

// Stops the player and lets whatever still sounds fade out.
void BeginFade(MidiSynthState& state) {
    DropPlayer(state);
    state.pendingSong = -1;
    if (state.audible && !state.fading) {
        state.fading = true;
        state.fadeFramesLeft = StopFadeFrames;
        state.silenced = false;
    }
}

// Runs the stop in the block the synth just rendered: a raised-cosine fade to silence, then the synth
// is reset and its output muted. The song waiting for the stop starts a few milliseconds later.
// False while the stop goes on.
bool RunFade(MidiSynthState& state, float* stereo, int frames) {
    int i = 0;
    for (; i < frames && state.fadeFramesLeft > 0; ++i, --state.fadeFramesLeft) {
        const float s = std::sin(std::numbers::pi_v<float> / 2 * static_cast<float>(state.fadeFramesLeft) /
                                 StopFadeFrames);
        stereo[ptrdiff_t{2} * i] *= s * s;
        stereo[ptrdiff_t{2} * i + 1] *= s * s;
    }
    std::fill(stereo + ptrdiff_t{2} * i, stereo + ptrdiff_t{2} * frames, 0.0f);
    if (state.fadeFramesLeft > 0) return false;
    if (!state.silenced) {
        // The reset returns every channel to its start, then every voice stops (in the other order
        // the reset lets the voices ring on).
        fluid_synth_system_reset(state.synth);
        fluid_synth_all_sounds_off(state.synth, -1);
        state.silenced = true;
        state.holdFramesLeft = StopHoldFrames;
        return false;
    }
    state.holdFramesLeft -= frames;
    if (state.holdFramesLeft > 0) return false;
    state.fading = false;
    state.audible = false;
    const int song = state.pendingSong;
    state.pendingSong = -1;
    if (song >= 0 && !StartSong(state, song, state.pendingGain)) state.playing = false;
    return true;
}

}  // namespace

MidiSynth::MidiSynth() = default;

MidiSynth::~MidiSynth() {
    Release();
}

bool MidiSynth::Init(const std::string& soundFontPath, std::string& error) {
    Release();
    SilenceSynthLog();
    auto fresh = std::make_unique<MidiSynthState>();
    fresh->settings = new_fluid_settings();
    if (!fresh->settings) {
        error = "cannot create synth settings";
        return false;
    }
    fluid_settings_setint(fresh->settings, "synth.lock-memory", 0);
    fluid_settings_setnum(fresh->settings, "synth.sample-rate", MixRate);
    fluid_settings_setnum(fresh->settings, "synth.gain", DefaultSynthGain);
    fluid_settings_setint(fresh->settings, "synth.cpu-cores", 1);
    fresh->synth = new_fluid_synth(fresh->settings);
    if (!fresh->synth) {
        delete_fluid_settings(fresh->settings);
        error = "cannot create the synth";
        return false;
    }
    LoadFont(*fresh, soundFontPath, error);
    std::lock_guard<std::mutex> guard(lock);
    state = fresh.release();
    return true;
}

bool MidiSynth::LoadSoundFont(const std::string& soundFontPath, std::string& error) {
    std::lock_guard<std::mutex> guard(lock);
    if (!state) {
        error = "no synth";
        return false;
    }
    DropPlayer(*state);
    if (state->hasSoundFont) fluid_synth_sfunload(state->synth, state->soundFontId, 1);
    state->hasSoundFont = false;
    return LoadFont(*state, soundFontPath, error);
}

bool MidiSynth::IsReady() const {
    std::lock_guard<std::mutex> guard(lock);
    return state != nullptr;
}

bool MidiSynth::HasSoundFont() const {
    std::lock_guard<std::mutex> guard(lock);
    return state && state->hasSoundFont;
}

void MidiSynth::Release() {
    MidiSynthState* old = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        old = state;
        state = nullptr;
        if (old) {
            DropPlayer(*old);
            if (old->synth) fluid_synth_all_sounds_off(old->synth, -1);
        }
    }
    if (!old) return;
    if (old->synth) delete_fluid_synth(old->synth);
    if (old->settings) delete_fluid_settings(old->settings);
    delete old;
}

int MidiSynth::AddSong(std::vector<uint8_t> bytes, std::string& error) {
    const MidiFileInfo info = ParseMidiFile(bytes.data(), bytes.size());
    if (!info.valid) {
        error = info.error;
        return -1;
    }
    std::lock_guard<std::mutex> guard(lock);
    if (!state) {
        error = "no synth";
        return -1;
    }
    state->songs.push_back(std::move(bytes));
    state->songTicks.push_back(info.totalTicks);
    return static_cast<int>(state->songs.size()) - 1;
}

bool ReadMidiFile(const std::string& nativePath, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    std::FILE* file = OpenRegularFile(nativePath);
    if (!file) {
        error = std::string("cannot open: ") + (errno != 0 ? std::strerror(errno) : "not a regular file");
        return false;
    }
    uint8_t chunk[16384];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (bytes.size() + got > MaxMidiFileBytes) {
            std::fclose(file);
            bytes.clear();
            error = "file too large";
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        bytes.clear();
        error = std::string("cannot read: ") + std::strerror(readError);
        return false;
    }
    return true;
}

bool CheckMidiFile(const std::string& nativePath, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadMidiFile(nativePath, bytes, error)) return false;
    const MidiFileInfo info = ParseMidiFile(bytes.data(), bytes.size());
    if (!info.valid) error = info.error;
    return info.valid;
}

int MidiSynth::LoadSongFile(const std::string& nativePath, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadMidiFile(nativePath, bytes, error)) return -1;
    return AddSong(std::move(bytes), error);
}

int MidiSynth::SongCount() const {
    std::lock_guard<std::mutex> guard(lock);
    return state ? static_cast<int>(state->songs.size()) : 0;
}

uint32_t MidiSynth::SongTicks(int song) const {
    std::lock_guard<std::mutex> guard(lock);
    if (!state || song < 0 || song >= static_cast<int>(state->songs.size())) return 0;
    return state->songTicks[song];
}

bool MidiSynth::Play(int song, int repeats, float gain) {
    std::lock_guard<std::mutex> guard(lock);
    if (!state || song < 0 || song >= static_cast<int>(state->songs.size())) return false;
    BeginFade(*state);
    state->loops = std::max(repeats, 0) + 1;
    if (!state->fading) return StartSong(*state, song, gain);
    // The audio thread starts it once the fade is over.
    state->pendingSong = song;
    state->pendingGain = gain;
    state->playing = true;
    return true;
}

void MidiSynth::Stop() {
    std::lock_guard<std::mutex> guard(lock);
    if (state) BeginFade(*state);
}

bool MidiSynth::IsPlaying() const {
    std::lock_guard<std::mutex> guard(lock);
    return state && state->playing;
}

void MidiSynth::RenderMusic(float* stereo, int frames) {
    std::lock_guard<std::mutex> guard(lock);
    if (!state || !state->synth) return;
    fluid_synth_write_float(state->synth, frames, stereo, 0, 2, stereo, 1, 2);
    if (state->fading && !RunFade(*state, stereo, frames)) return;
    if (state->silenced) std::fill(stereo, stereo + ptrdiff_t{2} * frames, 0.0f);
    if (!state->player || !state->playing) return;
    if (fluid_player_get_status(state->player) == FLUID_PLAYER_DONE) {
        state->playing = false;  // the player gave up (a file it could not read)
        return;
    }
    const int tick = fluid_player_get_current_tick(state->player);
    if (tick < state->lastTick) ++state->wrapsSeen;
    state->lastTick = tick;
    const int playerTicks = fluid_player_get_total_ticks(state->player);
    const int total = playerTicks > 0 ? playerTicks : static_cast<int>(state->parsedTicks);
    if (state->wrapsSeen >= state->loops - 1 && tick >= total) {
        // The last repeat is over: let the notes ring out, but the song is done now.
        fluid_player_stop(state->player);
        fluid_synth_all_notes_off(state->synth, -1);
        state->playing = false;
    }
}
