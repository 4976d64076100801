# Frame costs of the GL device through the offscreen window (SDL_VIDEODRIVER=offscreen is set by the
# program itself when the variable is empty).
add_executable(device_bench ${CMAKE_CURRENT_LIST_DIR}/device_bench.cpp)
target_link_libraries(device_bench PRIVATE kelvane_device SDL2::SDL2 kelvane_options benchmark::benchmark_main)
