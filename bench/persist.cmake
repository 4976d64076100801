# Language lookups as the menus and the HUD make them, beside the cost of parsing the file afresh.
add_executable(persist_bench ${CMAKE_CURRENT_LIST_DIR}/persist_bench.cpp)
target_link_libraries(persist_bench PRIVATE kelvane_persist kelvane_options benchmark::benchmark_main)
