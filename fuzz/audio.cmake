# Fuzzers of the sound file readers: the wave reader and wave stream, the Ogg decoder on memory, and
# the MIDI file check.
foreach(target audio_wave_fuzz audio_ogg_fuzz audio_midi_fuzz)
    add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp)
    target_link_libraries(${target} PRIVATE kelvane_audio kelvane_options)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endforeach()
