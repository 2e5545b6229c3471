# Tests of the main window: scan workflow, window services, deletion, row menu.
list(APPEND PELIDOR_MAIN_WINDOW_TEST_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_support.h
    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_scan.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_services.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_delete.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_delete_rowmenu.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_proof.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_replace.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_reference.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_sort.cpp

    ${CMAKE_CURRENT_SOURCE_DIR}/test_main_window_account.cpp)
