# Platform services for the build tools only (the asset generator): TrueType glyph rasterising.
add_library(kelvane_platform_tools STATIC ${CMAKE_CURRENT_LIST_DIR}/truetype.cpp)
target_link_libraries(kelvane_platform_tools PUBLIC kelvane_options kelvane_platform_base PRIVATE PkgConfig::STB)
