# kestrune-probe.exe: a console program that watches device notices as the plug-in does, for
# problem reports and real timings. Built in the Windows world alone; its verdict is built in
# either world, and tested natively too.
add_executable(kestrune-probe
  ${CMAKE_CURRENT_LIST_DIR}/device_event.cpp
  ${CMAKE_CURRENT_LIST_DIR}/device_watch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/midi_ports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows_version.cpp)
include(${CMAKE_CURRENT_LIST_DIR}/verdict.cmake)
target_link_libraries(kestrune-probe PRIVATE kestrune_probe_verdict)
target_include_directories(kestrune-probe PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(kestrune-probe PRIVATE kestrune_warnings)
# The version the DLLs carry, marked as theirs is when the tree was modified.
target_compile_definitions(kestrune-probe PRIVATE KESTRUNE_PROBE_VERSION="${KESTRUNE_VERSION_TEXT}")
target_link_libraries(kestrune-probe PRIVATE winmm)
# Released beside the DLLs, so stripped and stamped like them: two builds give the same bytes.
target_link_options(kestrune-probe PRIVATE -Wl,--no-insert-timestamp
  $<$<CONFIG:Release,MinSizeRel>:-s>)
set_target_properties(kestrune-probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
