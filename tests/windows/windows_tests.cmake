# What only the real platform shows: the DLL's tables, the real loader, user32's message-only
# windows and sent-message delivery, and cross-process notifications, under Wine or on Windows.

# The DLL files themselves and their linker maps, read without running them, with the objdump of
# the compiler's binutils: the cross one that the toolchain file names, or on Windows the one CMake
# found beside the compiler (MSYS2's).
if(NOT KESTRUNE_MINGW_OBJDUMP)
  set(KESTRUNE_MINGW_OBJDUMP ${CMAKE_OBJDUMP})
endif()
set(KESTRUNE_DLL_TABLES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_dll_tables.cmake)
function(kestrune_add_dll_tables_test name dll map)
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${KESTRUNE_MINGW_OBJDUMP} -DDLL=${dll} -DMAP=${map}
      -P ${KESTRUNE_DLL_TABLES_SCRIPT})
endfunction()
foreach(dll_target kestrune kestrune_diagnostic)
  kestrune_add_dll_tables_test(windows_${dll_target}_dll_tables $<TARGET_FILE:${dll_target}>
    $<TARGET_FILE_DIR:${dll_target}>/kestrune.map)
endforeach()

# The parsers those checks share, on recorded output of both layouts of objdump's tables.
add_test(NAME windows_pe_table_parsers
  COMMAND ${CMAKE_COMMAND} -P ${CMAKE_CURRENT_LIST_DIR}/pe_tables_test.cmake)

add_test(NAME windows_kestrune_probe_tables
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${KESTRUNE_MINGW_OBJDUMP} -DEXE=$<TARGET_FILE:kestrune-probe>
    -P ${CMAKE_CURRENT_LIST_DIR}/check_probe_tables.cmake)

# A check that cannot fail would pass the DLLs above whatever they hold: each of these DLLs must
# fail it, and for its own fault, not for some other.
function(kestrune_add_dll_tables_refusal name dll_target text)
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DEXPECT_EXIT=1 "-DEXPECT_TEXT=${text}"
      -P ${PROJECT_SOURCE_DIR}/cmake/expect_failure.cmake --
      ${CMAKE_COMMAND} -DOBJDUMP=${KESTRUNE_MINGW_OBJDUMP} -DDLL=$<TARGET_FILE:${dll_target}>
      -DMAP=$<TARGET_FILE_DIR:${dll_target}>/kestrune.map -P ${KESTRUNE_DLL_TABLES_SCRIPT})
endfunction()
# The plug-in linked with the simulated platform's code.
kestrune_dll_module(kestrune_with_simulator_code kestrune_plugin
  ${CMAKE_BINARY_DIR}/simulator-code-proof ${CMAKE_CURRENT_LIST_DIR}/simulator_code_in_dll.cpp)
kestrune_add_dll_tables_refusal(windows_dll_tables_refuse_simulator_code
  kestrune_with_simulator_code "contains code of the simulated platform")
# Nor may the hardening flags be the toolchain's whim: a DLL linked with them turned off.
kestrune_dll_module(kestrune_without_hardening kestrune_plugin
  ${CMAKE_BINARY_DIR}/hardening-proof)
target_link_options(kestrune_without_hardening PRIVATE
  -Wl,--disable-dynamicbase,--disable-high-entropy-va,--disable-nxcompat)
kestrune_add_dll_tables_refusal(windows_dll_tables_refuse_a_dll_without_hardening
  kestrune_without_hardening "lacks HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT")

# Two release builds of this tree in two other folders must give the same bytes. It runs alone,
# so that its two build jobs do not compete with other tests. The release preset builds with
# Debian's cross compiler, so releases are made, and this test runs, on Linux alone.
if(NOT CMAKE_HOST_WIN32)
  add_test(NAME windows_release_dlls_reproducible
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DWORK_DIR=${CMAKE_BINARY_DIR}/reproducibility
      -P ${PROJECT_SOURCE_DIR}/cmake/reproducible_build.cmake)
  set_tests_properties(windows_release_dlls_reproducible PROPERTIES RUN_SERIAL TRUE TIMEOUT 900)
endif()

# Loaded in place of the system's winmm.dll by the programs beside it: by Windows, which looks in
# the program's folder first, and by Wine when WINEDLLOVERRIDES=winmm=n. The target has a name of
# its own, so that linking "winmm" still means the system library.
add_library(kestrune_winmm_double SHARED ${PROJECT_SOURCE_DIR}/sim/winmm_double.cpp)
target_include_directories(kestrune_winmm_double PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(kestrune_winmm_double PRIVATE kestrune_warnings)
set_target_properties(kestrune_winmm_double PROPERTIES PREFIX "" OUTPUT_NAME winmm
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# GoogleTest, as kestrune_gtest: cross-built from Debian's sources, since Debian's own library is
# built for Linux (its warnings are not ours); on Windows, the environment's own package (MSYS2's
# mingw-w64-x86_64-gtest), which ships no sources. That package's CMake config names its shared
# build, and -static does not change an imported full path: GTest::gtest would leave the test
# programs importing libgtest.dll, libgtest_main.dll and, through them, MSYS2's C++ runtime, so
# that they ran inside the MSYS2 shell alone. Its static archives are installed beside the shared
# ones and are linked by path. GoogleTest never uses pthreads on MinGW, so the archives need
# nothing more.
if(CMAKE_CROSSCOMPILING)
  set(kestrune_googletest_source /usr/src/googletest)
endif()
set(KESTRUNE_GOOGLETEST_SOURCE "${kestrune_googletest_source}" CACHE PATH
  "GoogleTest sources to build with the project's compiler; empty: the installed static archives")
add_library(kestrune_gtest INTERFACE)
if(KESTRUNE_GOOGLETEST_SOURCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${KESTRUNE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
    SYSTEM)
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
  target_link_libraries(kestrune_gtest INTERFACE gtest_main gtest)
else()
  find_path(KESTRUNE_GTEST_INCLUDE_DIR gtest/gtest.h REQUIRED)
  find_library(KESTRUNE_GTEST_ARCHIVE NAMES libgtest.a REQUIRED)
  find_library(KESTRUNE_GTEST_MAIN_ARCHIVE NAMES libgtest_main.a REQUIRED)
  target_include_directories(kestrune_gtest SYSTEM INTERFACE ${KESTRUNE_GTEST_INCLUDE_DIR})
  target_link_libraries(kestrune_gtest INTERFACE
    ${KESTRUNE_GTEST_MAIN_ARCHIVE} ${KESTRUNE_GTEST_ARCHIVE})
endif()

# The test programs and the sender build on velmar-sim's host side and its world (the host
# double, the loader of the module and of the winmm double's controls, the notice builder and
# senders, the plug-in's interface classes).
add_executable(kestrune_device_sender ${CMAKE_CURRENT_LIST_DIR}/device_sender.cpp)
target_link_libraries(kestrune_device_sender PRIVATE kestrune_sim_host)

# One program for all cases: each Wine process costs most of a second to start.
file(GLOB kestrune_windows_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
add_executable(kestrune_windows_tests ${CMAKE_CURRENT_LIST_DIR}/fault_watch.cpp
  ${kestrune_windows_test_sources})
target_link_libraries(kestrune_windows_tests PRIVATE kestrune_sim_host kestrune_gtest
  version)
# The version the DLLs must show is the project's, not a copy of it.
target_compile_definitions(kestrune_windows_tests PRIVATE
  KESTRUNE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  KESTRUNE_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  KESTRUNE_VERSION_PATCH=${PROJECT_VERSION_PATCH}
  "KESTRUNE_VERSION_TEXT=L\"${KESTRUNE_VERSION_TEXT}\"")
# The cases expect the variant of kestrune.dll that this build makes.
if(KESTRUNE_VERBOSE_LOG)
  target_compile_definitions(kestrune_windows_tests PRIVATE KESTRUNE_VERBOSE_LOG)
endif()
# Built with the tests, so that the loader finds them beside the program.
add_dependencies(kestrune_windows_tests kestrune kestrune_diagnostic kestrune_winmm_double
  kestrune_device_sender kestrune-probe)

# The test programs and the double they load import system modules alone, so that they run from a
# plain copy of the build folder. A check that cannot fail would pass them whatever they import: a
# program linked to a DLL of this build must fail it.
set(KESTRUNE_PROGRAM_IMPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_program_imports.cmake)
add_test(NAME windows_test_program_imports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${KESTRUNE_MINGW_OBJDUMP} -P ${KESTRUNE_PROGRAM_IMPORTS_SCRIPT}
    -- $<TARGET_FILE:kestrune_windows_tests> $<TARGET_FILE:kestrune_device_sender>
    $<TARGET_FILE:velmar-sim> $<TARGET_FILE:kestrune_winmm_double>)
add_executable(kestrune_import_proof ${CMAKE_CURRENT_LIST_DIR}/import_proof.cpp)
target_include_directories(kestrune_import_proof PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(kestrune_import_proof PRIVATE kestrune)
set_target_properties(kestrune_import_proof PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/import-proof)
add_test(NAME windows_test_program_imports_refuse_a_dll_of_the_build
  COMMAND ${CMAKE_COMMAND} -DEXPECT_EXIT=1 "-DEXPECT_TEXT=imports KESTRUNE.DLL"
    -P ${PROJECT_SOURCE_DIR}/cmake/expect_failure.cmake --
    ${CMAKE_COMMAND} -DOBJDUMP=${KESTRUNE_MINGW_OBJDUMP} -P ${KESTRUNE_PROGRAM_IMPORTS_SCRIPT}
    -- $<TARGET_FILE:kestrune_import_proof>)

include(GoogleTest)
# Listed when ctest starts rather than at build time, which under Wine would run it during the
# build with a timeout that a prefix still booting exceeds.
gtest_discover_tests(kestrune_windows_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  TEST_PREFIX windows.
  TEST_FILTER "*-LoadUnloadSoak.*"
  PROPERTIES ${KESTRUNE_WINE_TEST_PROPERTIES} TIMEOUT 120)
# The soak loads and frees the DLL 10,000 times, each time registering for device notices with the
# system and releasing them: alone, so that ctest -j does not run other tests beside it, and on
# Windows with room for a real machine's Plug and Play service and its virus scanner, which no run
# has timed yet (about 30 s under Wine here). RUN_SERIAL is a property of one test, so the soak is
# listed by a discovery of its own.
if(KESTRUNE_RUN_UNDER_WINE)
  set(kestrune_soak_timeout 120)
else()
  set(kestrune_soak_timeout 600)
endif()
gtest_discover_tests(kestrune_windows_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  TEST_PREFIX windows.
  TEST_FILTER "LoadUnloadSoak.*"
  PROPERTIES ${KESTRUNE_WINE_TEST_PROPERTIES} RUN_SERIAL TRUE TIMEOUT ${kestrune_soak_timeout})
