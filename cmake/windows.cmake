# The Windows world: kestrune.dll and its diagnostic variant built with mingw-w64, the winmm test
# double, velmar-sim.exe and the tests that run them. One path for two machines: cross-built on
# Linux and run under Wine (the windows preset), or built and run on Windows itself (the
# windows-native preset, MSYS2's MINGW64 GCC). What differs between them is named where it is
# decided: KESTRUNE_RUN_UNDER_WINE below, where GoogleTest and objdump come from
# (tests/windows/windows_tests.cmake), and the release build, which stays on Linux.
option(KESTRUNE_WINDOWS_TESTS "Build the Windows tests and velmar-sim.exe" ON)
# A Linux machine runs the Windows programs under Wine (cmake/wine.cmake); Windows runs them itself.
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_HOST_WIN32)
  set(kestrune_run_under_wine ON)
else()
  set(kestrune_run_under_wine OFF)
endif()
option(KESTRUNE_RUN_UNDER_WINE "Run the Windows programs under Wine" ${kestrune_run_under_wine})

# Whole static runtime everywhere: the host loads the DLL into its own process, where no
# libstdc++ or winpthread DLL can be assumed; Debian's posix-thread mingw would otherwise leave
# an import of libwinpthread-1.dll even with -static-libgcc -static-libstdc++.
add_link_options(-static)
# Address-space layout randomisation with 64-bit entropy, and no code run from data pages, asked
# for rather than left to the linker's defaults, which have changed between versions of binutils.
# GNU ld and lld take the same spellings. The table checks require all three (DllCharacteristics
# 0x0160).
add_link_options(-Wl,--dynamicbase,--high-entropy-va,--nxcompat)

# The module's one export. The list also pulls the entry's object out of the plug-in library,
# which the DLL otherwise would not reference.
set(KESTRUNE_DLL_EXPORTS ${CMAKE_BINARY_DIR}/kestrune.def)
file(WRITE ${KESTRUNE_DLL_EXPORTS} "EXPORTS\n  VelmarPluginEntry\n")

include(${CMAKE_CURRENT_LIST_DIR}/version_resource.cmake)

# kestrune_dll_module(<target> <plugin library> <output directory> <sources>...): a kestrune.dll
# from a plug-in library, with its linker map beside it as kestrune.map, from which the tests read
# what was linked in.
function(kestrune_dll_module target plugin_library output_directory)
  add_library(${target} SHARED ${KESTRUNE_DLL_EXPORTS}
    ${PROJECT_SOURCE_DIR}/platform/windows/dll_startup.cpp ${ARGN})
  target_link_libraries(${target} PRIVATE ${plugin_library} winmm)
  # Stripped by the linker and with no link time in the header, so that two builds of one commit
  # are the same bytes: a later strip would stamp the header with the current time again. No
  # reference may need patching at load (dll_startup.cpp); without auto-import the linker also
  # keeps constant data in a read-only section rather than among the writable data.
  target_link_options(${target} PRIVATE
    -Wl,--disable-auto-import
    -Wl,--disable-runtime-pseudo-reloc
    -Wl,--no-insert-timestamp
    -Wl,--gc-sections
    -Wl,-Map=${output_directory}/kestrune.map
    $<$<CONFIG:Release,MinSizeRel>:-s>)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME kestrune
    LINKER_LANGUAGE CXX
    RUNTIME_OUTPUT_DIRECTORY ${output_directory}
    ARCHIVE_OUTPUT_DIRECTORY ${output_directory})
endfunction()

# kestrune_dll(<target> <verbose> <output directory>): one variant of kestrune.dll.
function(kestrune_dll target verbose output_directory)
  kestrune_plugin_library(${target}_plugin ${verbose})
  if(verbose)
    # The C runtime's own formatter handles the few conversions the lines use (%d, %X, %s);
    # mingw's complete one would add tens of kilobytes.
    target_compile_definitions(${target}_plugin PRIVATE KESTRUNE_LOG_VSNPRINTF=_vsnprintf)
  else()
    target_compile_definitions(${target}_plugin PRIVATE KESTRUNE_LOG_COMPILED_OUT)
  endif()
  # Small rather than fast: the plug-in's own code is a few hundred instructions that run a few
  # times a second, and most of the module is mingw's start-up code. Unreferenced functions and
  # data are dropped at link.
  target_compile_options(${target}_plugin PRIVATE
    $<$<CONFIG:Release,MinSizeRel>:-Os> -ffunction-sections -fdata-sections)
  kestrune_dll_module(${target} ${target}_plugin ${output_directory})
  kestrune_version_resource(${target} ${verbose})
endfunction()

kestrune_dll(kestrune ${KESTRUNE_VERBOSE_LOG} ${CMAKE_BINARY_DIR})
# The diagnostic scenarios need the console lines, so their DLL is always built beside the
# other, in a folder of its own under the same file name.
kestrune_dll(kestrune_diagnostic ON ${CMAKE_BINARY_DIR}/diagnostic)

include(${PROJECT_SOURCE_DIR}/probe/probe.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)

if(NOT KESTRUNE_WINDOWS_TESTS)
  return()
endif()

enable_testing()
# Every program that runs against the winmm test double is built beside it: Windows loads a DLL
# from the program's own folder before the system's, and Wine does too for the DLLs that
# WINEDLLOVERRIDES names.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# Under Wine, the programs run through CMAKE_CROSSCOMPILING_EMULATOR, and every test that runs one
# takes KESTRUNE_WINE_TEST_PROPERTIES (the prefix fixture, the override); on Windows both are empty.
set(KESTRUNE_WINE_TEST_PROPERTIES "")
if(KESTRUNE_RUN_UNDER_WINE)
  include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
endif()

include(${PROJECT_SOURCE_DIR}/tests/windows/windows_tests.cmake)

# velmar-sim.exe loads kestrune.dll from beside itself, or the module --plugin names, as the host
# does; the same scenarios as natively must give the same transcripts.
add_subdirectory(${PROJECT_SOURCE_DIR}/sim ${CMAKE_BINARY_DIR}/sim)
kestrune_add_velmar_sim(velmar-sim)
add_dependencies(velmar-sim kestrune kestrune_diagnostic kestrune_winmm_double)

include(${CMAKE_CURRENT_LIST_DIR}/scenarios.cmake)
kestrune_add_scenario_tests(
  PREFIX windows.
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:velmar-sim>
  DIAGNOSTIC_COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:velmar-sim>
    --plugin $<TARGET_FILE:kestrune_diagnostic>
  GARBAGE_FILE $<TARGET_FILE:kestrune_plugin>
  PROPERTIES ${KESTRUNE_WINE_TEST_PROPERTIES} TIMEOUT 120)

# The DLLs of the second compiler (the windows-clang preset's build folder, which scripts/test.sh
# builds first), played by the same velmar-sim.exe: every scenario must give the same transcript
# with either compiler's DLLs, and their tables must pass the same check.
set(KESTRUNE_CLANG_BUILD_DIR "" CACHE PATH
  "Build folder of the windows-clang preset, whose DLLs the scenarios also play")
if(KESTRUNE_CLANG_BUILD_DIR)
  kestrune_add_scenario_tests(
    PREFIX windows.clang.
    SCENARIOS_ONLY
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:velmar-sim>
      --plugin ${KESTRUNE_CLANG_BUILD_DIR}/kestrune.dll
    DIAGNOSTIC_COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:velmar-sim>
      --plugin ${KESTRUNE_CLANG_BUILD_DIR}/diagnostic/kestrune.dll
    PROPERTIES ${KESTRUNE_WINE_TEST_PROPERTIES} TIMEOUT 120)
  kestrune_add_dll_tables_test(windows_clang_kestrune_dll_tables
    ${KESTRUNE_CLANG_BUILD_DIR}/kestrune.dll ${KESTRUNE_CLANG_BUILD_DIR}/kestrune.map)
  kestrune_add_dll_tables_test(windows_clang_kestrune_diagnostic_dll_tables
    ${KESTRUNE_CLANG_BUILD_DIR}/diagnostic/kestrune.dll
    ${KESTRUNE_CLANG_BUILD_DIR}/diagnostic/kestrune.map)
endif()
