#include "audio/music_player.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "audio/sound_bank.h"
#include "base/paths.h"
#include "base/random.h"
#include "headless/trace.h"
#include "persist/log.h"

const char* const MusicTrackFiles[GameTrackCount] = {
    "Sound\\music_1.mid", "Sound\\music_2.mid", "Sound\\music_3.mid",
    "Sound\\music_4.mid", "Sound\\music_5.mid",
};

namespace {

bool FileExists(const std::string& nativePath) {
    std::FILE* file = OpenRegularFile(nativePath);
    if (!file) return false;
    std::fclose(file);
    return true;
}

// Synth gains in dB for music_1 .. music_5, measured on whole renders of the tracks through this
// synth: the fonts differ by up to 11 dB on the same track.
struct SoundFontLevels {
    const char* fileName;
    std::array<float, GameTrackCount> trackGainsDb;
};
constexpr SoundFontLevels KnownSoundFonts[] = {
    {"TimGM6mb.sf2", {-6.2f, -1.7f, -7.4f, -6.6f, -3.5f}},
    {"FluidR3_GM.sf2", {-14.6f, -4.3f, -17.0f, -6.2f, -6.5f}},
};

}  // namespace

std::string ChooseSoundFont(const std::string& packaged, const std::string& systemLink) {
    // A soundfont in the game's own Sound folder (or the player's copy of it) is a deliberate choice
    // and comes first. Something under a soundfont's name that is not a file (a folder, a pipe, a link to a
    // device) is passed over, and the log says so.
    for (const std::string& name : ListEntries("Sound\\*.sf2")) {
        std::string path = LocateGameFile("Sound\\" + name);
        errno = 0;
        if (FileExists(path)) return path;
        WriteLog("MIDI music: 'Sound\\" + name + "' is not a soundfont file that can be opened (" +
                     (errno != 0 ? std::strerror(errno) : "not a regular file") + "); passed over",
                 LogWarning);
    }
    if (FileExists(packaged)) return packaged;
    if (FileExists(systemLink)) return systemLink;
    return "";
}

std::string FindSoundFont() {
    return ChooseSoundFont(PackagedSoundFont, SystemSoundFontLink);
}

float MusicTrackGain(const std::string& soundFontPath, int track) {
    if (track < 0 || track >= GameTrackCount) return DefaultSynthGain;
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(soundFontPath, error);
    const std::string fileName = (error ? std::filesystem::path(soundFontPath) : target).filename().string();
    float gainDb = 0;
    bool first = true;
    for (const SoundFontLevels& known : KnownSoundFonts) {
        const float db = known.trackGainsDb[static_cast<size_t>(track)];
        if (fileName == known.fileName) return std::pow(10.0f, db / 20);
        gainDb = first ? db : std::min(gainDb, db);
        first = false;
    }
    return std::pow(10.0f, gainDb / 20);
}

bool MusicPlayer::InitMusic(AudioMixer* device) {
    return InitMusic(device, FindSoundFont());
}

bool MusicPlayer::InitMusic(AudioMixer* device, const std::string& soundFontPath) {
    ReleaseMusic();
    if (!device || !device->IsOpen()) return false;
    std::string error;
    soundFont = soundFontPath;
    if (!synth.Init(soundFont, error)) return false;
    if (!synth.HasSoundFont()) {
        static bool told = false;  // once per run
        if (!told) {
            told = true;
            WriteLog(soundFont.empty() ? "MIDI music: no soundfont found (Sound\\*.sf2, "
                                         "/usr/share/sounds/sf2), the music is silent"
                                       : "MIDI music: " + error + ", the music is silent",
                     LogWarning);
        }
    }
    mixer = device;
    mixer->SetMusicSource(&synth);
    mixer->SetMusicVolume(VolumeToAttenuation(volume));
    ready = true;
    return true;
}

void MusicPlayer::SetVolume(float newVolume) {
    volume = newVolume;
    if (mixer) mixer->SetMusicVolume(VolumeToAttenuation(volume));
}

bool MusicPlayer::LoadTrack(const std::string& fileName) {
    std::string error;
    if (!ready) {
        // Without an audio device nothing is kept, but the file is still checked, so that a run
        // without sound reports a broken track too.
        if (!CheckMidiFile(LocateGameFile(fileName), error))
            WriteLog("MIDI loading: " + fileName + " ... FAILED (" + error + ")", LogWarning);
        return false;
    }
    if (tracks.size() >= MaxMusicTracks) return false;
    const int song = synth.LoadSongFile(LocateGameFile(fileName), error);
    if (song < 0) {
        WriteLog("MIDI loading: " + fileName + " ... FAILED (" + error + ")", LogWarning);
        return false;
    }
    tracks.push_back({fileName, song});
    return true;
}

int MusicPlayer::FindTrack(const std::string& fileName) const {
    for (size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].fileName == fileName) return static_cast<int>(i);
    return -1;
}

bool MusicPlayer::PlayTrack(const std::string& fileName, int repeats) {
    // Traced as asked for: a headless run has no audio device to play it on.
    TraceEvent("music", {{"track", fileName}, {"repeats", repeats}});
    const int index = FindTrack(fileName);
    if (!ready || index < 0) return false;
    int gameTrack = -1;
    for (int track = 0; track < GameTrackCount; ++track)
        if (fileName == MusicTrackFiles[track]) gameTrack = track;
    return synth.Play(tracks[index].song, repeats, MusicTrackGain(soundFont, gameTrack));
}

bool MusicPlayer::StopMusic() {
    TraceEvent("music-stop");
    if (!ready) return false;
    synth.Stop();
    return true;
}

bool MusicPlayer::IsMusicPlaying() const {
    return ready && synth.IsPlaying();
}

void MusicPlayer::ReleaseMusic() {
    // The mixer lets go of the synth first, so the audio thread never renders a synth being freed.
    if (mixer) mixer->SetMusicSource(nullptr);
    synth.Release();
    tracks.clear();
    mixer = nullptr;
    ready = false;
}

int MusicPlayer::ChooseNextTrack() {
    const int32_t least = *std::min_element(trackPlayCounts.begin(), trackPlayCounts.end());
    int candidates[GameTrackCount];
    int found = 0;
    for (int track = 0; track < GameTrackCount; ++track)
        if (trackPlayCounts[track] == least) candidates[found++] = track;
    const int chosen = candidates[RandomInt(0, found - 1)];
    ++trackPlayCounts[chosen];
    return chosen;
}

void MusicPlayer::PlayNextTrack(bool musicOn) {
    if (!musicOn) return;
    StopMusic();
    const int track = ChooseNextTrack();
    PlayTrack(MusicTrackFiles[track], 1);
}

void MusicPlayer::RunMusicCheck(float now, bool musicOn) {
    if (musicOn && !IsMusicPlaying() && now - lastMusicCheck > 0.5f) {
        PlayNextTrack(musicOn);
        lastMusicCheck = now;
    }
}

MusicPlayer& GameMusicPlayer() {
    // The mixer is made first so that it outlives the player: at exit the player lets go of the
    // mixer before the mixer's device stops.
    GameMixer();
    static MusicPlayer player;
    return player;
}

bool InitMusic(AudioMixer* mixer) {
    return GameMusicPlayer().InitMusic(mixer);
}
bool LoadTrack(const std::string& fileName) {
    return GameMusicPlayer().LoadTrack(fileName);
}
bool PlayTrack(const std::string& fileName, int repeats) {
    return GameMusicPlayer().PlayTrack(fileName, repeats);
}
bool StopMusic() {
    return GameMusicPlayer().StopMusic();
}
bool IsMusicPlaying() {
    return GameMusicPlayer().IsMusicPlaying();
}
void ReleaseMusic() {
    GameMusicPlayer().ReleaseMusic();
}
void PlayNextTrack(bool musicOn) {
    GameMusicPlayer().PlayNextTrack(musicOn);
}
void RunMusicCheck(float now, bool musicOn) {
    GameMusicPlayer().RunMusicCheck(now, musicOn);
}

void LoadGameTracks() {
    for (const char* file : MusicTrackFiles) LoadTrack(file);
}
