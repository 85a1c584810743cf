# The Windows world: kestrune.dll and its diagnostic variant cross-built with mingw-w64, the winmm
# test double, velmar-sim.exe and the tests that run them under Wine.
# The tests run the cross-built programs under Wine; a build on Windows itself makes the DLLs.
option(KESTRUNE_WINDOWS_TESTS "Build the Windows tests and velmar-sim.exe, run under Wine"
  ${CMAKE_CROSSCOMPILING})

# Whole static runtime everywhere: the host loads the DLL into its own process, where no
# libstdc++ or winpthread DLL can be assumed; Debian's posix-thread mingw would otherwise leave
# an import of libwinpthread-1.dll even with -static-libgcc -static-libstdc++.
add_link_options(-static)

# The module's one export. The list also pulls the entry's object out of the plug-in library,
# which the DLL otherwise would not reference.
set(KESTRUNE_DLL_EXPORTS ${CMAKE_BINARY_DIR}/kestrune.def)
file(WRITE ${KESTRUNE_DLL_EXPORTS} "EXPORTS\n  VelmarPluginEntry\n")

function(kestrune_dll target verbose output_directory)
  kestrune_plugin_library(${target}_plugin ${verbose})
  add_library(${target} SHARED ${KESTRUNE_DLL_EXPORTS})
  target_link_libraries(${target} PRIVATE ${target}_plugin winmm)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME kestrune
    LINKER_LANGUAGE CXX
    RUNTIME_OUTPUT_DIRECTORY ${output_directory}
    ARCHIVE_OUTPUT_DIRECTORY ${output_directory})
endfunction()

kestrune_dll(kestrune ${KESTRUNE_VERBOSE_LOG} ${CMAKE_BINARY_DIR})
# The diagnostic scenarios need the console lines, so their DLL is always built beside the
# other, in a folder of its own under the same file name.
kestrune_dll(kestrune_diagnostic ON ${CMAKE_BINARY_DIR}/diagnostic)

include(${PROJECT_SOURCE_DIR}/probe/probe.cmake)

if(NOT KESTRUNE_WINDOWS_TESTS)
  return()
endif()

enable_testing()
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)

include(${PROJECT_SOURCE_DIR}/tests/windows/windows_tests.cmake)

# velmar-sim.exe loads kestrune.dll from beside itself, or the module --plugin names, as the host
# does; the same scenarios as natively must give the same transcripts.
include(${CMAKE_CURRENT_LIST_DIR}/velmar_sim.cmake)
kestrune_add_velmar_sim(velmar-sim ${PROJECT_SOURCE_DIR}/sim/world_wine.cpp
  ${PROJECT_SOURCE_DIR}/sim/plugin_windows.cpp)
add_dependencies(velmar-sim kestrune kestrune_diagnostic kestrune_winmm_double)

include(${CMAKE_CURRENT_LIST_DIR}/scenarios.cmake)
kestrune_add_scenario_tests(
  PREFIX windows.
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:velmar-sim>
  DIAGNOSTIC_COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:velmar-sim>
    --plugin $<TARGET_FILE:kestrune_diagnostic>
  GARBAGE_FILE $<TARGET_FILE:kestrune_plugin>
  PROPERTIES ${KESTRUNE_WINE_TEST_PROPERTIES} TIMEOUT 120)
