# What only the real platform shows: the DLL's tables, the real loader, user32's message-only
# windows and sent-message delivery, and cross-process notifications, all under Wine.

# The DLL files themselves, read without running them.
foreach(dll_target kestrune kestrune_diagnostic)
  add_test(NAME windows_${dll_target}_dll_tables
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${KESTRUNE_MINGW_OBJDUMP} -DNM=${KESTRUNE_MINGW_NM}
      -DDLL=$<TARGET_FILE:${dll_target}> -P ${CMAKE_CURRENT_LIST_DIR}/check_dll_tables.cmake)
endforeach()

add_test(NAME windows_kestrune_probe_tables
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${KESTRUNE_MINGW_OBJDUMP} -DEXE=$<TARGET_FILE:kestrune-probe>
    -P ${CMAKE_CURRENT_LIST_DIR}/check_probe_tables.cmake)

# Wine loads this in place of its own winmm.dll for processes run with WINEDLLOVERRIDES=winmm=n.
# The target has a name of its own, so that linking "winmm" still means the system library.
add_library(kestrune_winmm_double SHARED ${CMAKE_CURRENT_LIST_DIR}/winmm_double.cpp)
target_include_directories(kestrune_winmm_double PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(kestrune_winmm_double PROPERTIES PREFIX "" OUTPUT_NAME winmm
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# GoogleTest built from Debian's sources with the cross compiler; its warnings are not ours.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(KESTRUNE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
add_subdirectory(${KESTRUNE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
  SYSTEM)
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)

add_library(kestrune_windows_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/device_messages.cpp
  ${PROJECT_SOURCE_DIR}/sim/plugin_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hostile_headers.cpp)
target_include_directories(kestrune_windows_test_support PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(kestrune_device_sender ${CMAKE_CURRENT_LIST_DIR}/device_sender.cpp)
target_link_libraries(kestrune_device_sender PRIVATE kestrune_windows_test_support)

# One program for all cases: each Wine process costs most of a second to start.
add_executable(kestrune_windows_tests
  ${CMAKE_CURRENT_LIST_DIR}/cross_process_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dll_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/guarded_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/header_bounds_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_messages_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hostile_sender_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/load_unload_soak_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/probe_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sender_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sent_message_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/two_copies_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_lifetime_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/winmm_binding_test.cpp
)
target_link_libraries(kestrune_windows_tests PRIVATE kestrune_windows_test_support gtest gtest_main)
# The cases expect the variant of kestrune.dll that this build makes.
if(KESTRUNE_VERBOSE_LOG)
  target_compile_definitions(kestrune_windows_tests PRIVATE KESTRUNE_VERBOSE_LOG)
endif()
# Built with the tests, so that the loader finds them beside the program.
add_dependencies(kestrune_windows_tests kestrune kestrune_diagnostic kestrune_winmm_double
  kestrune_device_sender kestrune-probe)

include(GoogleTest)
# Listed when ctest starts rather than at build time, which would run Wine during the build with
# a timeout that a prefix still booting exceeds.
gtest_discover_tests(kestrune_windows_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  TEST_PREFIX windows.
  PROPERTIES ${KESTRUNE_WINE_TEST_PROPERTIES} TIMEOUT 120)
