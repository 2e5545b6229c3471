# A folder chain 3,000 levels deep through the engine and the pelidor-scan program
# (label "stress": each test builds and removes the chain, seconds on a busy disk),
# and the small file operations on a path beyond PATH_MAX (quick, in the default run).
add_executable(deep_chain_tests ${CMAKE_CURRENT_SOURCE_DIR}/test_deep_chain.cpp)
target_link_libraries(deep_chain_tests PRIVATE
    pelidor_engine pelidor_test_support pelidor_options GTest::gtest_main)
target_compile_definitions(deep_chain_tests PRIVATE
    PELIDOR_SCAN_BINARY="$<TARGET_FILE:pelidor-scan>")
add_dependencies(deep_chain_tests pelidor-scan)
gtest_discover_tests(deep_chain_tests TEST_FILTER "DeepChainTest.*" DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "TZ=UTC" LABELS stress)
gtest_discover_tests(deep_chain_tests TEST_FILTER "LongPathFileOps.*" DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "TZ=UTC")
