# The cost of drawing a play frame with a full well against an empty frame, offscreen at 800 x 600.
add_executable(scene_bench ${CMAKE_CURRENT_LIST_DIR}/scene_bench.cpp)
target_link_libraries(scene_bench PRIVATE kelvane_scene kelvane_options SDL2::SDL2 benchmark::benchmark_main)
target_compile_definitions(scene_bench PRIVATE KELVANE_GAME_DIR="${KELVANE_GAME_DIR}")
