// The asset generator: writes every default asset of the game (meshes, textures, font, menu pictures,
// screen files, language file, sounds, music) into a game directory, deterministically: the same bytes
// on every build. Each asset group registers a writer; main runs them in name order.
#pragma once

#include <functional>
#include <string>

struct AssetContext {
    std::string gameDir;     // output: the game directory (Graphics/, Sound/ are created below it)
    std::string dataDir;     // input: the repository's data/ folder (hand-written text data)
    std::string previewDir;  // --preview DIR: contact sheets as PNG, "" when not asked for
};

using AssetWriter = std::function<bool(const AssetContext&)>;

// Registers a group at static-initialisation time: static AssetGroup sounds("sounds", WriteSounds);
struct AssetGroup {
    AssetGroup(const char* name, AssetWriter writer);
};
