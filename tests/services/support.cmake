# The support window against the stand-in service on 127.0.0.1, with Qt WebEngine
# offscreen and its sandbox: started as root, the program runs as the unprivileged user
# 65534 (pelidor_qt_test_main_unprivileged).
find_package(Qt6 6.4 REQUIRED COMPONENTS Test Network WebEngineWidgets)

add_executable(services_support_tests
    ${CMAKE_CURRENT_LIST_DIR}/WebClick.h
    ${CMAKE_CURRENT_LIST_DIR}/test_support.cpp)
set_target_properties(services_support_tests PROPERTIES AUTOMOC ON)
target_link_libraries(services_support_tests PRIVATE pelidor_services_support
    pelidor_standin_support pelidor_test_support pelidor_qt_test_main_unprivileged Qt6::Test
    Qt6::Network
    Qt6::WebEngineWidgets GTest::gtest)
target_compile_definitions(services_support_tests PRIVATE
    PELIDOR_LANGUAGES_DIR="${PROJECT_SOURCE_DIR}/Languages/")
gtest_discover_tests(services_support_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "TZ=UTC;QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
