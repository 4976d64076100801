# The sound side of the generator: effects, widget sounds and music, built as a library of its own so
# the tests can render and check them without the rest of the generator.
add_library(kelvane_assetgen_audio STATIC
    ${CMAKE_CURRENT_LIST_DIR}/sound_synth.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sound_effects.cpp
    ${CMAKE_CURRENT_LIST_DIR}/midi_writer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/composer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/music.cpp
)
target_include_directories(kelvane_assetgen_audio PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kelvane_assetgen_audio PUBLIC kelvane_options PRIVATE PkgConfig::VORBIS)

target_sources(assetgen PRIVATE ${CMAKE_CURRENT_LIST_DIR}/audio_groups.cpp)
target_link_libraries(assetgen PRIVATE kelvane_assetgen_audio)
