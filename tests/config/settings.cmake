# Tests of the registry stand-in, the INI layer and the settings store.
list(APPEND PELIDOR_CONFIG_TEST_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/test_appconfig_support.h
    ${CMAKE_CURRENT_SOURCE_DIR}/test_registry.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_ini.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_appconfig.cpp)
