// The game's single long-lived objects besides the ones each module keeps itself (the texture
// registry and the bitmap font of the UI, the sound bank, wave effects and music player of the audio):
// the mesh library with its textures, the well drawing and the menu backdrop. They live for the whole
// run; their device-dependent contents are released and rebuilt with the device objects.
#pragma once

#include "scene/scene.h"

struct Subsystems {
    MeshLibrary meshes;
    Scene scene{meshes};
    MenuBackdrop menuBackdrop;

    static Subsystems& Get();
};
