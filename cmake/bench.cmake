# The benchmark programs (KESTRUNE_BENCH; scripts/bench.sh runs them and prints the table).
# Natively they load the plug-in built as the bench preset builds it, optimised and without
# sanitizers, so that callgrind counts the instructions of the code as shipped. Under Wine they
# time the real kestrune.dll against Wine's own user32.
option(KESTRUNE_BENCH "Build the benchmark programs" OFF)
if(NOT KESTRUNE_BENCH)
  return()
endif()

set(KESTRUNE_BENCH_SOURCE_DIR ${PROJECT_SOURCE_DIR}/tests/bench)

# What every program shares: the table's rows, the empty window and the storm's messages.
add_library(kestrune_bench_support STATIC
  ${KESTRUNE_BENCH_SOURCE_DIR}/bench_support.cpp
  ${KESTRUNE_BENCH_SOURCE_DIR}/storm_messages.cpp)
target_link_libraries(kestrune_bench_support PUBLIC kestrune_sim_host)

# The host side, one backend a world (bench_host.h). Under Wine it loads kestrune.dll and the
# winmm test double from beside the program, through the host of the Windows suites.
if(WIN32)
  add_library(kestrune_bench_host STATIC ${KESTRUNE_BENCH_SOURCE_DIR}/wine_bench_host.cpp)
  target_link_libraries(kestrune_bench_host PUBLIC kestrune_bench_support
    kestrune_windows_test_support)
  add_dependencies(kestrune_bench_host kestrune kestrune_winmm_double)
  set(kestrune_bench_programs idle_tick storm)
else()
  add_library(kestrune_bench_host STATIC ${KESTRUNE_BENCH_SOURCE_DIR}/bench_host.cpp)
  target_link_libraries(kestrune_bench_host PUBLIC kestrune_plugin kestrune_bench_support)
  set(kestrune_bench_programs idle_tick device_queries storm)
endif()
foreach(program ${kestrune_bench_programs})
  add_executable(kestrune_bench_${program} ${KESTRUNE_BENCH_SOURCE_DIR}/${program}_bench.cpp)
  target_link_libraries(kestrune_bench_${program} PRIVATE kestrune_bench_host)
endforeach()
