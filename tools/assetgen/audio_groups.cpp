// Registers the sound and music writers with the generator.
#include "assetgen.h"
#include "audio_assets.h"

namespace {
bool WriteSounds(const AssetContext& context) {
    std::string soundDir = context.gameDir + "/Sound";
    bool effects = WriteGameEffects(soundDir);
    bool widgets = WriteWidgetSounds(soundDir);
    return effects && widgets;
}
bool WriteMusic(const AssetContext& context) {
    return WriteMusicTracks(context.gameDir + "/Sound");
}
}  // namespace

AssetGroup soundGroup("sounds", WriteSounds);
AssetGroup musicGroup("music", WriteMusic);
