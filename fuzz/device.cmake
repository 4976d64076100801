# Fuzzers of the device's file readers: picture decoding and .x mesh loading from memory. The picture
# decoder is built into the image fuzzer with the fuzzer's instrumentation (third-party code: no project
# warning flags).
add_library(device_stb_instrumented OBJECT ${CMAKE_CURRENT_LIST_DIR}/device_stb_instrumented.cpp)
target_link_libraries(device_stb_instrumented PRIVATE PkgConfig::STB)
target_compile_options(device_stb_instrumented PRIVATE -fsanitize=fuzzer-no-link,address,undefined -w)
add_executable(device_image_fuzz ${CMAKE_CURRENT_LIST_DIR}/device_image_fuzz.cpp
                                 $<TARGET_OBJECTS:device_stb_instrumented>)
target_link_libraries(device_image_fuzz PRIVATE kelvane_device kelvane_options)
target_link_options(device_image_fuzz PRIVATE -fsanitize=fuzzer)

add_executable(device_mesh_fuzz ${CMAKE_CURRENT_LIST_DIR}/device_mesh_fuzz.cpp)
target_link_libraries(device_mesh_fuzz PRIVATE kelvane_device kelvane_options)
target_link_options(device_mesh_fuzz PRIVATE -fsanitize=fuzzer)
