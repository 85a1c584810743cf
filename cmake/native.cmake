# The native world: the plug-in linked with the simulated Win32 subset, its unit tests, the host
# simulator and the scenarios.
option(KESTRUNE_FUZZ "Build the libFuzzer target alone (the fuzz preset)" OFF)
if(KESTRUNE_FUZZ)
  include(cmake/fuzz.cmake)
  return()
endif()
enable_testing()
find_package(GTest REQUIRED)

add_subdirectory(platform/simulated)

kestrune_plugin_library(kestrune_plugin ${KESTRUNE_VERBOSE_LOG})
target_link_libraries(kestrune_plugin PUBLIC kestrune_sim_platform)

include(GoogleTest)
file(GLOB KESTRUNE_UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(kestrune_unit_tests ${KESTRUNE_UNIT_TEST_SOURCES})
target_link_libraries(kestrune_unit_tests PRIVATE kestrune_plugin GTest::gtest GTest::gtest_main)
gtest_discover_tests(kestrune_unit_tests DISCOVERY_TIMEOUT 60)
# The console test once more, against a plug-in that formats as the Windows C runtime does.
kestrune_plugin_library(kestrune_plugin_truncating ON)
target_link_libraries(kestrune_plugin_truncating PUBLIC kestrune_sim_platform)
target_compile_options(kestrune_plugin_truncating PRIVATE
  -include ${PROJECT_SOURCE_DIR}/tests/unit/truncating_vsnprintf.h)
target_compile_definitions(kestrune_plugin_truncating PRIVATE
  KESTRUNE_LOG_VSNPRINTF=truncating_vsnprintf)
add_executable(kestrune_console_truncating_tests ${PROJECT_SOURCE_DIR}/tests/unit/console_log_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/unit/test_host.cpp)
target_link_libraries(kestrune_console_truncating_tests PRIVATE kestrune_plugin_truncating kestrune_sim_host
  GTest::gtest GTest::gtest_main)
gtest_discover_tests(kestrune_console_truncating_tests TEST_PREFIX truncating. DISCOVERY_TIMEOUT 60)
include(probe/verdict.cmake)
add_executable(kestrune_probe_verdict_tests ${PROJECT_SOURCE_DIR}/tests/probe/verdict_test.cpp)
target_link_libraries(kestrune_probe_verdict_tests PRIVATE kestrune_probe_verdict GTest::gtest
  GTest::gtest_main)
gtest_discover_tests(kestrune_probe_verdict_tests DISCOVERY_TIMEOUT 60)
include(cmake/model.cmake)

# The diagnostic variant beside the plain one, so that the scenarios of both run from one build.
kestrune_plugin_library(kestrune_plugin_diagnostic ON)
target_link_libraries(kestrune_plugin_diagnostic PUBLIC kestrune_sim_platform)

add_subdirectory(sim)
kestrune_add_velmar_sim(velmar-sim)
target_link_libraries(velmar-sim PRIVATE kestrune_plugin)
kestrune_add_velmar_sim(velmar-sim-diagnostic)
target_link_libraries(velmar-sim-diagnostic PRIVATE kestrune_plugin_diagnostic)
target_link_libraries(kestrune_unit_tests PRIVATE kestrune_sim_host)

# The fuzzer's seed corpus replayed through its own target, without libFuzzer.
file(GLOB KESTRUNE_FUZZ_SEEDS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/*)
add_executable(kestrune_fuzz_corpus_replay ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus_replay.cpp
  ${PROJECT_SOURCE_DIR}/tests/fuzz/monitor_fuzzer.cpp)
target_link_libraries(kestrune_fuzz_corpus_replay PRIVATE kestrune_model)
add_test(NAME fuzz_corpus_replay COMMAND kestrune_fuzz_corpus_replay ${KESTRUNE_FUZZ_SEEDS})

include(cmake/scenarios.cmake)
kestrune_add_scenario_tests(
  NATIVE_STEPS
  COMMAND $<TARGET_FILE:velmar-sim>
  DIAGNOSTIC_COMMAND $<TARGET_FILE:velmar-sim-diagnostic>
  GARBAGE_FILE $<TARGET_FILE:kestrune_plugin>)
