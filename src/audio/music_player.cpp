#include "audio/music_player.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/paths.h"
#include "base/random.h"
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

}  // namespace

std::string FindSoundFont() {
    // Something under a soundfont's name that is not a file (a folder, a pipe, a link to a device) is
    // passed over, and the log says so.
    std::error_code error;
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator it(NativePath("Sound"), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (WildcardMatch("*.sf2", name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = NativePath("Sound\\" + name);
        if (FileExists(path)) return path;
        WriteLog("MIDI music: 'Sound\\" + name + "' is not a soundfont file that can be opened (" +
                     (errno != 0 ? std::strerror(errno) : "not a regular file") + "); passed over",
                 LogWarning);
    }
    for (const char* path : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"})
        if (FileExists(path)) return path;
    return "";
}

bool MusicPlayer::InitMusic(AudioMixer* device) {
    ReleaseMusic();
    if (!device || !device->IsOpen()) return false;
    std::string error;
    const std::string soundFont = FindSoundFont();
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
    ready = true;
    return true;
}

bool MusicPlayer::LoadTrack(const std::string& fileName) {
    std::string error;
    if (!ready) {
        // Without an audio device nothing is kept, but the file is still checked, so that a run
        // without sound reports a broken track too.
        if (!CheckMidiFile(NativePath(fileName), error))
            WriteLog("MIDI loading: " + fileName + " ... FAILED (" + error + ")", LogWarning);
        return false;
    }
    if (tracks.size() >= MaxMusicTracks) return false;
    const int song = synth.LoadSongFile(NativePath(fileName), error);
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
    const int index = FindTrack(fileName);
    if (!ready || index < 0) return false;
    return synth.Play(tracks[index].song, repeats);
}

bool MusicPlayer::StopMusic() {
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
