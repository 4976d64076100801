# The 2D layer's readers: screen files from any bytes, and the font's glyph width rows, language
# sections and font picture (decoded by the instrumented picture decoder of device.cmake).
add_executable(ui_screen_fuzz ${CMAKE_CURRENT_LIST_DIR}/ui_screen_fuzz.cpp)
target_link_libraries(ui_screen_fuzz PRIVATE kelvane_ui kelvane_options)
target_link_options(ui_screen_fuzz PRIVATE -fsanitize=fuzzer)

add_executable(ui_font_fuzz ${CMAKE_CURRENT_LIST_DIR}/ui_font_fuzz.cpp $<TARGET_OBJECTS:device_stb_instrumented>)
target_include_directories(ui_font_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/tests/scene)
target_link_libraries(ui_font_fuzz PRIVATE kelvane_ui kelvane_options)
target_link_options(ui_font_fuzz PRIVATE -fsanitize=fuzzer)
