# Fuzzers of the platform's file readers: picture decoding, .x mesh loading from memory and input scripts.
# The decoder is built into the image fuzzer with the fuzzer's instrumentation (third-party code:
# no project warning flags).
add_library(platform_stb_instrumented OBJECT ${CMAKE_CURRENT_LIST_DIR}/platform_stb_instrumented.cpp)
target_link_libraries(platform_stb_instrumented PRIVATE PkgConfig::STB)
target_compile_options(platform_stb_instrumented PRIVATE -fsanitize=fuzzer-no-link,address,undefined -w)
add_executable(platform_image_fuzz ${CMAKE_CURRENT_LIST_DIR}/platform_image_fuzz.cpp
                                   $<TARGET_OBJECTS:platform_stb_instrumented>)
target_link_libraries(platform_image_fuzz PRIVATE kelvane_platform_gfx kelvane_options)
target_link_options(platform_image_fuzz PRIVATE -fsanitize=fuzzer)

add_executable(platform_mesh_fuzz ${CMAKE_CURRENT_LIST_DIR}/platform_mesh_fuzz.cpp)
target_link_libraries(platform_mesh_fuzz PRIVATE kelvane_platform_gfx kelvane_options)
target_link_options(platform_mesh_fuzz PRIVATE -fsanitize=fuzzer)

add_executable(platform_script_fuzz ${CMAKE_CURRENT_LIST_DIR}/platform_script_fuzz.cpp)
target_link_libraries(platform_script_fuzz PRIVATE kelvane_platform_shell kelvane_options)
target_link_options(platform_script_fuzz PRIVATE -fsanitize=fuzzer)
