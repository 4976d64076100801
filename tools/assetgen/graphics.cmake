# The graphics side of the asset generator: meshes, scene pictures, menu pictures, the bitmap font,
# the screen files and language.ini, and the --preview contact sheets.
target_sources(assetgen PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/raster.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xfile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/font.cpp
    ${CMAKE_CURRENT_LIST_DIR}/meshes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pictures.cpp
    ${CMAKE_CURRENT_LIST_DIR}/menu_art.cpp
    ${CMAKE_CURRENT_LIST_DIR}/icon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text_assets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/preview.cpp
    ${CMAKE_CURRENT_LIST_DIR}/truetype.cpp)
target_link_libraries(assetgen PRIVATE kelvane_base kelvane_device PkgConfig::STB)
