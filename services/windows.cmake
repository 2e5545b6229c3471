# The online functions' windows and the upload: the screen-capture window (UCatch), the
# attachment upload (uUploadFile) and the about window (uAbout). Qt Widgets and Network.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network)
add_library(pelidor_services STATIC
    ${CMAKE_CURRENT_LIST_DIR}/UCatch.h ${CMAKE_CURRENT_LIST_DIR}/UCatch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uUploadFile.h ${CMAKE_CURRENT_LIST_DIR}/uUploadFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uAbout.h ${CMAKE_CURRENT_LIST_DIR}/uAbout.cpp)
set_target_properties(pelidor_services PROPERTIES AUTOMOC ON)
target_link_libraries(pelidor_services PUBLIC pelidor_options pelidor_services_core
    pelidor_ui_toolkit pelidor_config pelidor_shell
    Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network)
