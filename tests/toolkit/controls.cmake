# tests of the controls and the style
list(APPEND PELIDOR_TOOLKIT_TEST_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_controls.cpp)
# A showcase that lays out every control and saves pictures of it; not a test, built
# only on request: cmake --build build --target toolkit_showcase, then
# build/tests/toolkit/toolkit_showcase OUT_FOLDER
add_executable(toolkit_showcase EXCLUDE_FROM_ALL ${CMAKE_CURRENT_SOURCE_DIR}/showcase_controls.cpp)
target_link_libraries(toolkit_showcase PRIVATE pelidor_ui_toolkit pelidor_options)
