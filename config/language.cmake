# Language packs: the file reader, the locale and character-set tables, the lookup.
list(APPEND PELIDOR_CONFIG_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/LangTable.h
    ${CMAKE_CURRENT_SOURCE_DIR}/LangTable.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/LangCodes.h
    ${CMAKE_CURRENT_SOURCE_DIR}/LangCodes.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/uLanguage.h
    ${CMAKE_CURRENT_SOURCE_DIR}/uLanguage.cpp)

# English.ini built into the program: the last fallback for every text when no pack can
# be read (a missing or unreadable language folder), so that no window is left without
# its captions.
set(PELIDOR_ENGLISH_PACK ${PROJECT_SOURCE_DIR}/Languages/English.ini)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PELIDOR_ENGLISH_PACK})
file(READ ${PELIDOR_ENGLISH_PACK} PELIDOR_ENGLISH_HEX HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," PELIDOR_ENGLISH_BYTES "${PELIDOR_ENGLISH_HEX}")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/BuiltInEnglish.cpp.in
    ${CMAKE_CURRENT_BINARY_DIR}/BuiltInEnglish.cpp @ONLY)
list(APPEND PELIDOR_CONFIG_SOURCES ${CMAKE_CURRENT_BINARY_DIR}/BuiltInEnglish.cpp)
