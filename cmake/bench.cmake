# The benchmark programs (KESTRUNE_BENCH; scripts/bench.sh runs them and prints the table).
# Natively they load the plug-in built as the bench preset builds it, optimised and without
# sanitizers, so that callgrind counts the instructions of the code as shipped. Under Wine they
# time the real kestrune.dll against Wine's own user32.
option(KESTRUNE_BENCH "Build the benchmark programs" OFF)
if(NOT KESTRUNE_BENCH)
  return()
endif()

set(KESTRUNE_BENCH_SOURCE_DIR ${PROJECT_SOURCE_DIR}/tests/bench)

# What both worlds share: the table rows and the storm's messages.
add_library(kestrune_bench_support STATIC
  ${KESTRUNE_BENCH_SOURCE_DIR}/bench_table.cpp
  ${KESTRUNE_BENCH_SOURCE_DIR}/storm_messages.cpp)
target_link_libraries(kestrune_bench_support PUBLIC kestrune_sim_host)

if(WIN32)
  # Each loads kestrune.dll and the winmm test double from beside itself, through the test host
  # of the Windows suites.
  foreach(program wine_idle_tick wine_storm)
    add_executable(kestrune_bench_${program}
      ${KESTRUNE_BENCH_SOURCE_DIR}/${program}.cpp
      ${KESTRUNE_BENCH_SOURCE_DIR}/wine_settled_plugin.cpp)
    target_link_libraries(kestrune_bench_${program} PRIVATE
      kestrune_bench_support kestrune_windows_test_support)
    add_dependencies(kestrune_bench_${program} kestrune kestrune_winmm_double)
  endforeach()
  return()
endif()

add_library(kestrune_bench_host STATIC ${KESTRUNE_BENCH_SOURCE_DIR}/bench_host.cpp)
target_link_libraries(kestrune_bench_host PUBLIC kestrune_plugin kestrune_bench_support)
foreach(program idle_tick device_queries storm)
  add_executable(kestrune_bench_${program} ${KESTRUNE_BENCH_SOURCE_DIR}/${program}_bench.cpp)
  target_link_libraries(kestrune_bench_${program} PRIVATE kestrune_bench_host)
endforeach()
