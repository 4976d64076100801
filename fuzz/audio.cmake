# Fuzzers of the sound file readers: the wave reader and wave stream, the Ogg decoder on the game's
# stdio path, MIDI files as the check and the synthesiser's player read them, and the soundfont loader.
foreach(target audio_wave_fuzz audio_midi_fuzz audio_soundfont_fuzz)
    add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp)
    target_link_libraries(${target} PRIVATE kelvane_audio kelvane_options)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endforeach()

# The Ogg target decodes with libogg and libvorbis compiled into it with the fuzzer's instrumentation,
# from the Debian sources scripts/fuzz fetches (KELVANE_FUZZ_SOURCES: the folder holding libogg-* and
# libvorbis-*), so the fuzzer sees the decoder's own branches. Without them it uses the system's
# libraries, blind inside the decoder.
set(KELVANE_FUZZ_SOURCES "" CACHE PATH "Folder with the libogg and libvorbis sources for the Ogg fuzzer")
file(GLOB oggSource LIST_DIRECTORIES true "${KELVANE_FUZZ_SOURCES}/libogg-*")
file(GLOB vorbisSource LIST_DIRECTORIES true "${KELVANE_FUZZ_SOURCES}/libvorbis-*")
add_executable(audio_ogg_fuzz ${CMAKE_CURRENT_LIST_DIR}/audio_ogg_fuzz.cpp ${CMAKE_SOURCE_DIR}/src/audio/sound_decoder.cpp)
target_link_libraries(audio_ogg_fuzz PRIVATE kelvane_audio_out kelvane_base kelvane_options)
target_link_options(audio_ogg_fuzz PRIVATE -fsanitize=fuzzer)
if(KELVANE_FUZZ_SOURCES AND oggSource AND vorbisSource)
    list(GET oggSource 0 oggSource)
    list(GET vorbisSource 0 vorbisSource)
    set(decoderFiles ${oggSource}/src/bitwise.c ${oggSource}/src/framing.c)
    foreach(file mdct smallft block envelope window lsp lpc analysis synthesis psy info floor1 floor0 res0
                 mapping0 registry codebook sharedbook lookup bitrate vorbisfile)
        list(APPEND decoderFiles ${vorbisSource}/lib/${file}.c)
    endforeach()
    add_library(audio_vorbis_instrumented OBJECT ${decoderFiles})
    # The system's ogg headers (same version) give the configured integer types; third-party code:
    # no project warning flags.
    target_include_directories(audio_vorbis_instrumented PRIVATE ${vorbisSource}/include ${vorbisSource}/lib)
    target_compile_options(audio_vorbis_instrumented PRIVATE -fsanitize=fuzzer-no-link,address,undefined -w)
    target_sources(audio_ogg_fuzz PRIVATE $<TARGET_OBJECTS:audio_vorbis_instrumented>)
    target_link_libraries(audio_ogg_fuzz PRIVATE m)
    message(STATUS "audio_ogg_fuzz: libogg and libvorbis instrumented from ${KELVANE_FUZZ_SOURCES}")
else()
    target_link_libraries(audio_ogg_fuzz PRIVATE PkgConfig::VORBIS)
    message(STATUS "audio_ogg_fuzz: the system's libogg and libvorbis (not instrumented)")
endif()
