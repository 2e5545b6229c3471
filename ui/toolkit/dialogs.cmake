# the message dialog and the busy hint
list(APPEND PELIDOR_TOOLKIT_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/OrlaMsgBox.h ${CMAKE_CURRENT_SOURCE_DIR}/OrlaMsgBox.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/OrlaWindowHint.h ${CMAKE_CURRENT_SOURCE_DIR}/OrlaWindowHint.cpp)
