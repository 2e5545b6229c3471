# Tests of the results list and the selection commands.
list(APPEND PELIDOR_RESULTS_LIST_TEST_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/test_results_list_support.h
    ${CMAKE_CURRENT_SOURCE_DIR}/test_results_list.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_results_list_view.cpp)
