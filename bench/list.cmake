# The results list with a million rows.
find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
add_executable(pelidor-list-bench ${CMAKE_CURRENT_SOURCE_DIR}/list_bench.cpp)
target_link_libraries(pelidor-list-bench PRIVATE pelidor_ui_main pelidor_ui_toolkit Qt6::Test)
