# The Windows build: the platform layer over the Windows API, the engine, the settings
# store and language packs, and pelidor-scan.exe; no Qt (the windows stay Linux-only).
set(PELIDOR_QT OFF CACHE BOOL "" FORCE)
# -O2: with -O3, mingw-w64's GCC 12 warns falsely (-Wrestrict, GCC bug 105329) inside
# libstdc++'s string concatenation.
string(REPLACE "-O3" "-O2" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
# UTF-8 in and out of the standard library's narrow calls; the program's own texts are
# UTF-8 and turn into UTF-16 only in platform/win32.
target_compile_definitions(pelidor_options INTERFACE UNICODE _UNICODE)

add_subdirectory(platform)
add_subdirectory(engine)
add_subdirectory(actions)
add_subdirectory(cli)
add_subdirectory(shell)
add_subdirectory(config)

set_target_properties(pelidor-scan PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
file(GLOB PELIDOR_LANGUAGE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/Languages/*.ini)
add_custom_target(pelidor_languages ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/bin/Languages
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PELIDOR_LANGUAGE_FILES}
        ${PROJECT_BINARY_DIR}/bin/Languages
    COMMENT "Copying the language packs")
install(TARGETS pelidor-scan RUNTIME DESTINATION bin)
install(FILES ${PELIDOR_LANGUAGE_FILES} DESTINATION bin/Languages)

if(PELIDOR_TESTS)
    enable_testing()
    # GoogleTest for the target, built from Debian's sources (package googletest).
    set(PELIDOR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(${PELIDOR_GTEST_SOURCE} googletest EXCLUDE_FROM_ALL SYSTEM)
    if(NOT TARGET GTest::gtest_main)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
    include(GoogleTest)
    add_subdirectory(tests/win32)
endif()
