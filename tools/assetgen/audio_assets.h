// The generated sounds and music of the game: the seven effects of play (wave files), the widget and
// name-entry sounds of the menus (Ogg Vorbis) and the five music tracks (standard MIDI files). Each
// writer takes the game's "Sound" folder (native path) and writes its files there; the same build
// writes the same bytes every time.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sound_synth.h"

// One sound the generator makes: its file name in the Sound folder and its samples.
struct GeneratedSound {
    std::string fileName;
    SampleBuffer samples;
};

// The seven effects in the game's load order: action, fill, fall, gameover, bonus, getbonus, level.
std::vector<GeneratedSound> RenderGameEffects();
// over.ogg, click.ogg and the three typing clicks of the "type_01" event, type_1..3.ogg.
std::vector<GeneratedSound> RenderWidgetSounds();

// The five tracks in the game's order: (file name, standard MIDI file bytes).
std::vector<std::pair<std::string, std::vector<uint8_t>>> ComposeMusicTracks();

bool WriteGameEffects(const std::string& soundDir);
bool WriteWidgetSounds(const std::string& soundDir);
bool WriteMusicTracks(const std::string& soundDir);
