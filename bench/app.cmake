# The whole game in one process on the offscreen window at 800 x 600: the time to the first drawn menu
# frame, the cost of a frame in the main menu, in a Classic game and in a colour game with a full well,
# each beside an empty frame of the same run, and the peak resident memory. A plain program (the game's
# frame loop runs once per process), run from anywhere: it plays in a temporary copy of the game directory.
add_executable(app_bench ${CMAKE_CURRENT_LIST_DIR}/app_bench.cpp)
target_link_libraries(app_bench PRIVATE kelvane_app kelvane_options SDL2::SDL2)
target_compile_definitions(app_bench PRIVATE KELVANE_GAME_DIR="${KELVANE_GAME_DIR}")
add_dependencies(app_bench kelvane assets)
# Resident memory over a long game played by the soak runs' random player (needs python3).
add_executable(memory_bench ${CMAKE_CURRENT_LIST_DIR}/memory_bench.cpp)
target_link_libraries(memory_bench PRIVATE kelvane_app kelvane_options)
target_compile_definitions(memory_bench PRIVATE KELVANE_GAME_DIR="${KELVANE_GAME_DIR}"
                                                KELVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(memory_bench kelvane assets)
