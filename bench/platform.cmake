# Frame costs of the GL device through the offscreen window (SDL_VIDEODRIVER=offscreen is set by the
# program itself when the variable is empty).
add_executable(platform_bench ${CMAKE_CURRENT_LIST_DIR}/platform_bench.cpp)
target_link_libraries(platform_bench PRIVATE kelvane_platform_gfx SDL2::SDL2 kelvane_options benchmark::benchmark_main)
