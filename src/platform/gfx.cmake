# The graphics side of the platform layer: the OpenGL device, textures and images, meshes, and the
# game window with its GL context.
add_library(kelvane_platform_gfx STATIC
    ${CMAKE_CURRENT_LIST_DIR}/gl_device.cpp
    ${CMAKE_CURRENT_LIST_DIR}/gl_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/image_loader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mesh.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xfile_check.cpp)
target_link_libraries(kelvane_platform_gfx
    PUBLIC kelvane_options kelvane_platform_base
    PRIVATE SDL2::SDL2 PkgConfig::EPOXY assimp::assimp PkgConfig::STB)
target_link_libraries(kelvane_platform INTERFACE kelvane_platform_gfx)
