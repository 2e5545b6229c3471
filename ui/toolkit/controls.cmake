# The look: style and palette, the controls, the shared pictures.
list(APPEND PELIDOR_TOOLKIT_SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/UImagData.h ${CMAKE_CURRENT_SOURCE_DIR}/UImagData.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/OrlaStyle.h ${CMAKE_CURRENT_SOURCE_DIR}/OrlaStyle.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/OrlaControls.h ${CMAKE_CURRENT_SOURCE_DIR}/OrlaControls.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/OrlaAccessible.h ${CMAKE_CURRENT_SOURCE_DIR}/OrlaAccessible.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/OrlaCheckListBox.h ${CMAKE_CURRENT_SOURCE_DIR}/OrlaCheckListBox.cpp)
# The program's pictures (embedded as ":/pelidor/images/<name>.svg").
foreach(picture logo msg-warning msg-error msg-information msg-confirmation busy
        hint-background search folder add add-hover add-pressed remove remove-hover
        remove-pressed empty-list caption-menu caption-news caption-support share-email
        share-twitter share-facebook share-tieba share-weibo share-qzone
        caption-marker reference folder-list)
    list(APPEND PELIDOR_TOOLKIT_IMAGES ${PROJECT_SOURCE_DIR}/resources/images/${picture}.svg)
endforeach()
