# Plain tests of the inputs the fuzz targets found faults with (built in the normal
# build, no fuzzer needed). Included from tests/CMakeLists.txt.
add_executable(fuzz_regression_tests ${CMAKE_CURRENT_LIST_DIR}/test_fuzz_regressions.cpp)
target_link_libraries(fuzz_regression_tests PRIVATE
    pelidor_config pelidor_engine pelidor_backup_core pelidor_test_support GTest::gtest_main)
if(PELIDOR_QT)
    target_compile_definitions(fuzz_regression_tests PRIVATE PELIDOR_FUZZ_REGRESSIONS_QT)
    target_link_libraries(fuzz_regression_tests PRIVATE pelidor_services_core)
endif()
gtest_discover_tests(fuzz_regression_tests DISCOVERY_MODE PRE_TEST PROPERTIES ENVIRONMENT "TZ=UTC")
