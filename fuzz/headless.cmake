# The headless runner's input scripts.
add_executable(headless_script_fuzz ${CMAKE_CURRENT_LIST_DIR}/headless_script_fuzz.cpp)
target_link_libraries(headless_script_fuzz PRIVATE kelvane_headless kelvane_options)
target_link_options(headless_script_fuzz PRIVATE -fsanitize=fuzzer)
