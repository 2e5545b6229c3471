# Tests of the row actions: the deletion failure dialog, the CSV export, the file
# manager calls (on a private session bus) and the properties window.
add_executable(row_actions_tests
    ${CMAKE_CURRENT_SOURCE_DIR}/test_row_actions_dialog.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_row_actions_csv.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_row_actions_shell.cpp)
set_target_properties(row_actions_tests PROPERTIES AUTOMOC ON)
target_compile_definitions(row_actions_tests PRIVATE
    PELIDOR_LANGUAGES_DIR="${PROJECT_SOURCE_DIR}/Languages/")
target_link_libraries(row_actions_tests PRIVATE pelidor_ui_main pelidor_test_support
    pelidor_qt_test_main Qt6::Test Qt6::DBus GTest::gtest)
gtest_discover_tests(row_actions_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "TZ=UTC;QT_QPA_PLATFORM=offscreen")
