# Writing a backup archive of a tree (bench/backup_bench.sh builds and runs it).
add_executable(backup_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_SOURCE_DIR}/backup_bench.cpp)
target_link_libraries(backup_bench PRIVATE pelidor_backup_core)
