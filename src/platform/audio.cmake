# The audio back end: the software mixer on one SDL audio device and the MIDI synth that renders into
# it. The only code that includes SDL audio or FluidSynth headers.
add_library(kelvane_platform_audio STATIC
    ${CMAKE_CURRENT_LIST_DIR}/audio_mixer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/midi_synth.cpp
)
target_link_libraries(kelvane_platform_audio
    PUBLIC kelvane_options kelvane_platform_base Threads::Threads
    PRIVATE SDL2::SDL2 PkgConfig::FLUIDSYNTH)
target_link_libraries(kelvane_platform INTERFACE kelvane_platform_audio)
