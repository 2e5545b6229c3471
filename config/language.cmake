# Language packs: the file reader, the locale and character-set tables, the lookup.
list(APPEND PELIDOR_CONFIG_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/LangTable.h
    ${CMAKE_CURRENT_SOURCE_DIR}/LangTable.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/LangCodes.h
    ${CMAKE_CURRENT_SOURCE_DIR}/LangCodes.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/uLanguage.h
    ${CMAKE_CURRENT_SOURCE_DIR}/uLanguage.cpp)
