# Deleting 100,000 ticked rows through the main window (run by hand).
add_executable(pelidor-delete-bench ${CMAKE_CURRENT_SOURCE_DIR}/delete_bench.cpp)
target_link_libraries(pelidor-delete-bench PRIVATE pelidor_ui_main pelidor_ui_toolkit)
