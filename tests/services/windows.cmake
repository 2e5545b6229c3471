# Tests of the screen-capture window (driven with real mouse and key events over a known
# picture, offscreen, and once over a real X screen under xvfb-run), the attachment
# upload against the stand-in service on 127.0.0.1, and the about window.
find_package(Qt6 6.4 REQUIRED COMPONENTS Test Network Widgets)

add_executable(services_window_tests
    ${CMAKE_CURRENT_LIST_DIR}/test_capture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_upload.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_about.cpp)
set_target_properties(services_window_tests PROPERTIES AUTOMOC ON)
target_compile_definitions(services_window_tests PRIVATE
    PELIDOR_LANGUAGES_DIR="${PROJECT_SOURCE_DIR}/Languages/")
target_link_libraries(services_window_tests PRIVATE pelidor_services pelidor_standin_support
    pelidor_test_support pelidor_qt_test_main Qt6::Test GTest::gtest)
gtest_discover_tests(services_window_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "TZ=UTC;QT_QPA_PLATFORM=offscreen" TIMEOUT 60)

# The capture of a real screen: the same program under a virtual X server (skipped with
# status 77 when xvfb-run is missing).
add_test(NAME services_capture_real_screen
    COMMAND bash -c "command -v xvfb-run >/dev/null 2>&1 || { echo 'SKIP: xvfb-run is not installed'; exit 77; }; exec env QT_QPA_PLATFORM=xcb PELIDOR_REAL_SCREEN=1 xvfb-run -a -s '-screen 0 1280x1024x24' \"$0\" --gtest_filter='CaptureRealScreen.*'"
        $<TARGET_FILE:services_window_tests>)
set_tests_properties(services_capture_real_screen PROPERTIES
    SKIP_RETURN_CODE 77 TIMEOUT 120 ENVIRONMENT "TZ=UTC")

# Pictures of the about window, to look at: services_about_showcase OUT_FOLDER [LANGUAGE].
add_executable(services_about_showcase ${CMAKE_CURRENT_LIST_DIR}/about_showcase.cpp)
target_compile_definitions(services_about_showcase PRIVATE
    PELIDOR_LANGUAGES_DIR="${PROJECT_SOURCE_DIR}/Languages/")
target_link_libraries(services_about_showcase PRIVATE pelidor_services)
