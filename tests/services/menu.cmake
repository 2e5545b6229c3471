# The main menu, the update conversation and the news window through the real main
# window, against the stand-in service on 127.0.0.1; the news window runs Qt WebEngine
# offscreen with its sandbox, so the program runs as the unprivileged user 65534 when
# started as root (pelidor_qt_test_main_unprivileged).
find_package(Qt6 6.4 REQUIRED COMPONENTS Test Network WebEngineWidgets)

add_executable(services_menu_tests
    ${CMAKE_CURRENT_LIST_DIR}/MenuTestSupport.h
    ${CMAKE_CURRENT_LIST_DIR}/WebClick.h
    ${CMAKE_CURRENT_LIST_DIR}/test_main_menu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_update_conversation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_news_window.cpp)
set_target_properties(services_menu_tests PROPERTIES AUTOMOC ON)
target_compile_definitions(services_menu_tests PRIVATE
    PELIDOR_LANGUAGES_DIR="${PROJECT_SOURCE_DIR}/Languages/")
target_link_libraries(services_menu_tests PRIVATE pelidor_services_menu pelidor_ui_main
    pelidor_standin_support pelidor_test_support pelidor_qt_test_main_unprivileged Qt6::Test
    Qt6::Network
    Qt6::WebEngineWidgets GTest::gtest)
gtest_discover_tests(services_menu_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "TZ=UTC;QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
