# Tests of the language-file reader and the language lookup.
list(APPEND PELIDOR_CONFIG_TEST_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/test_language_support.h
    ${CMAKE_CURRENT_SOURCE_DIR}/test_language_file.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_language_lookup.cpp)
# The lookup while another thread switches the language (also run under ThreadSanitizer).
list(APPEND PELIDOR_CONFIG_TEST_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_language_threads.cpp)
