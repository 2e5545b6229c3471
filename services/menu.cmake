# The main menu with the update conversation, and the news window (Qt WebEngine).
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets WebEngineWidgets)
add_library(pelidor_services_menu STATIC
    ${CMAKE_CURRENT_LIST_DIR}/uMainFormMenu.h ${CMAKE_CURRENT_LIST_DIR}/uMainFormMenu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uNewsletter.h ${CMAKE_CURRENT_LIST_DIR}/uNewsletter.cpp)
set_target_properties(pelidor_services_menu PROPERTIES AUTOMOC ON)
target_link_libraries(pelidor_services_menu PUBLIC pelidor_options pelidor_services_core
    pelidor_services pelidor_backup pelidor_ui_settings pelidor_ui_toolkit pelidor_config
    pelidor_shell Qt6::Widgets Qt6::WebEngineWidgets)
