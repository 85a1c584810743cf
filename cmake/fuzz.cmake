# The fuzz build (KESTRUNE_FUZZ, the `fuzz` preset): the plug-in and the simulated platform,
# instrumented for libFuzzer with clang's ASan and UBSan, and the fuzzer alone; no GoogleTest.
# Everything is compiled with -fsanitize=fuzzer-no-link from the preset; only the fuzzer itself
# links libFuzzer's main, since CMake's compiler check links a program with a main of its own.
add_subdirectory(${PROJECT_SOURCE_DIR}/platform/simulated ${CMAKE_BINARY_DIR}/platform/simulated)

kestrune_plugin_library(kestrune_plugin OFF)
target_link_libraries(kestrune_plugin PUBLIC kestrune_sim_platform)

add_subdirectory(${PROJECT_SOURCE_DIR}/sim ${CMAKE_BINARY_DIR}/sim)

add_executable(kestrune_monitor_fuzzer ${PROJECT_SOURCE_DIR}/tests/fuzz/monitor_fuzzer.cpp
  ${KESTRUNE_MODEL_SOURCES})
target_link_libraries(kestrune_monitor_fuzzer PRIVATE kestrune_sim_host kestrune_plugin)
target_link_options(kestrune_monitor_fuzzer PRIVATE -fsanitize=fuzzer)
