# The mixer's cost per second of audio (eight effects and the music), and the delay from
# PlayWaveEffect to the effect's first sample leaving the mix on a running device (dummy driver).
add_executable(audio_bench ${CMAKE_CURRENT_LIST_DIR}/audio_bench.cpp)
target_link_libraries(audio_bench PRIVATE kelvane_audio kelvane_options benchmark::benchmark_main)
