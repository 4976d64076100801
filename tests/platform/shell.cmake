# Tests of the framework, input translation and the headless runner.
kelvane_add_test(NAME platform_shell_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/input_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/script_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/framework_test.cpp
    LIBS kelvane_platform_shell SDL2::SDL2)
