# The support window: the feedback service's pages in Qt WebEngine, the unread query,
# the page links and the attachment uploads.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets WebEngineWidgets)
add_library(pelidor_services_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/uSupport.h ${CMAKE_CURRENT_LIST_DIR}/uSupport.cpp)
set_target_properties(pelidor_services_support PROPERTIES AUTOMOC ON)
target_link_libraries(pelidor_services_support PUBLIC pelidor_options pelidor_services
    pelidor_services_core pelidor_ui_toolkit pelidor_config pelidor_shell
    Qt6::Widgets Qt6::WebEngineWidgets)
