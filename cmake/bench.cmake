# The benchmark programs (KESTRUNE_BENCH; scripts/bench.sh runs them and prints the table).
# Natively they load the plug-in built as the bench preset builds it, optimised and without
# sanitizers, so that callgrind counts the instructions of the code as shipped. Under Wine they
# time the real kestrune.dll against Wine's own user32.
option(KESTRUNE_BENCH "Build the benchmark programs" OFF)
if(NOT KESTRUNE_BENCH)
  return()
endif()

set(KESTRUNE_BENCH_SOURCE_DIR ${PROJECT_SOURCE_DIR}/tests/bench)

# What every program shares: the table's rows, the empty window and
# velmar-sim's world, which natively links the plug-in and under Wine loads kestrune.dll and the
# winmm test double from beside the program.
add_library(kestrune_bench_support STATIC ${KESTRUNE_BENCH_SOURCE_DIR}/bench_support.cpp)
target_link_libraries(kestrune_bench_support PUBLIC kestrune_sim_host)
if(WIN32)
  add_dependencies(kestrune_bench_support kestrune kestrune_winmm_double)
  set(kestrune_bench_programs idle_tick storm)
else()
  target_link_libraries(kestrune_bench_support PUBLIC kestrune_plugin)
  set(kestrune_bench_programs idle_tick device_queries storm)
endif()
foreach(program ${kestrune_bench_programs})
  add_executable(kestrune_bench_${program} ${KESTRUNE_BENCH_SOURCE_DIR}/${program}_bench.cpp)
  target_link_libraries(kestrune_bench_${program} PRIVATE kestrune_bench_support)
endforeach()
