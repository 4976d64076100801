# The 2D layer's readers: screen files from any bytes, glyph width rows and language sections.
foreach(target ui_screen_fuzz ui_font_fuzz)
    add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp)
    target_link_libraries(${target} PRIVATE kelvane_ui kelvane_options)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endforeach()
