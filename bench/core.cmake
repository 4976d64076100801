# The game core's frame: one AdvancePlay plus the drawn frame's AdvanceAnimations, worst cases.
add_executable(core_bench ${CMAKE_CURRENT_LIST_DIR}/core_bench.cpp)
target_link_libraries(core_bench PRIVATE kelvane_core kelvane_options benchmark::benchmark_main)
