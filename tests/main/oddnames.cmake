# Odd file and folder names through the real window: scan, CSV export, deletion with a
# backup, restore and the trash, checked with Python's csv and zipfile modules.
add_executable(odd_names_e2e_tests ${CMAKE_CURRENT_SOURCE_DIR}/test_odd_names_e2e.cpp)
set_target_properties(odd_names_e2e_tests PROPERTIES AUTOMOC ON)
target_compile_definitions(odd_names_e2e_tests PRIVATE
    PELIDOR_LANGUAGES_DIR="${PROJECT_SOURCE_DIR}/Languages/"
    PELIDOR_INSPECT_ZIP="${PROJECT_SOURCE_DIR}/tests/backup/inspect_zip.py")
target_link_libraries(odd_names_e2e_tests PRIVATE pelidor_ui_main pelidor_test_support
    pelidor_qt_test_main Qt6::Test GTest::gtest)
gtest_discover_tests(odd_names_e2e_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "TZ=UTC;QT_QPA_PLATFORM=offscreen")
