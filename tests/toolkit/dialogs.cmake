# tests of the message dialog and the busy hint
list(APPEND PELIDOR_TOOLKIT_TEST_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/test_msgbox.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_hint.cpp)
