# The INI reader and writer, and the structure decoder behind scores.ini.
foreach(target persist_ini_fuzz persist_structure_fuzz)
    add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp)
    target_link_libraries(${target} PRIVATE kelvane_persist kelvane_options)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endforeach()
