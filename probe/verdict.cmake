# The probe's verdict: the plug-in's own rules, in a build of their own, run on a record of what
# was seen, with the record for their platform (replay_platform.cpp). They bring the plug-in's
# class constants and header check too, so that the probe sees each notice as the plug-in does.
# Built in either world: the probe links it, and natively a test program of its own.
add_library(kestrune_probe_verdict STATIC ${KESTRUNE_MONITOR_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/replay_platform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/verdict_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/watch_verdict.cpp)
target_include_directories(kestrune_probe_verdict PUBLIC ${PROJECT_SOURCE_DIR})
# The plain variant's rules: no console, no immediate check.
target_compile_definitions(kestrune_probe_verdict PRIVATE KESTRUNE_LOG_COMPILED_OUT)
target_link_libraries(kestrune_probe_verdict PUBLIC kestrune_warnings)
