# The cost of drawing a play frame with a full well against an empty frame, offscreen at 800 x 600.
add_executable(scene_bench ${CMAKE_CURRENT_LIST_DIR}/scene_bench.cpp)
target_link_libraries(scene_bench PRIVATE kelvane_scene kelvane_options SDL2::SDL2 benchmark::benchmark_main)
target_compile_definitions(scene_bench PRIVATE KELVANE_GAME_DIR="${KELVANE_GAME_DIR}")
# The parts of a play frame and of a menu frame at a window size, measured in turn with an empty frame.
add_executable(frame_parts_bench ${CMAKE_CURRENT_LIST_DIR}/frame_parts_bench.cpp)
target_link_libraries(frame_parts_bench PRIVATE kelvane_scene kelvane_ui kelvane_options SDL2::SDL2)
target_compile_definitions(frame_parts_bench PRIVATE KELVANE_GAME_DIR="${KELVANE_GAME_DIR}")
add_dependencies(frame_parts_bench assets)
