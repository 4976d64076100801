# The shell side of the platform layer: the framework with its frame loop and message pump, input
# translation (keyboard, mouse, game controllers), and the headless runner's scripts.
add_library(kelvane_platform_shell STATIC
    ${CMAKE_CURRENT_LIST_DIR}/framework.cpp
    ${CMAKE_CURRENT_LIST_DIR}/input.cpp
    ${CMAKE_CURRENT_LIST_DIR}/script.cpp)
target_link_libraries(kelvane_platform_shell PUBLIC kelvane_options kelvane_platform_base SDL2::SDL2 PRIVATE PkgConfig::STB)
if(TARGET kelvane_platform_gfx)
    target_link_libraries(kelvane_platform_shell PUBLIC kelvane_platform_gfx)
endif()
target_link_libraries(kelvane_platform INTERFACE kelvane_platform_shell)
