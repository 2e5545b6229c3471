# Settings store: the INI layer and the settings record with its file.
list(APPEND PELIDOR_CONFIG_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/IniFile.h
    ${CMAKE_CURRENT_SOURCE_DIR}/IniFile.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/uAppConfig.h
    ${CMAKE_CURRENT_SOURCE_DIR}/uAppConfig.cpp)
