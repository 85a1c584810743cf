# Runs the cross-built programs under Wine. Each build folder has its own prefix, so the tests
# never touch the user's ~/.wine and two build folders never share a wineserver.
find_program(KESTRUNE_WINE NAMES wine REQUIRED)
find_program(KESTRUNE_WINESERVER NAMES wineserver REQUIRED)

set(KESTRUNE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
# The environment of the programs, from the file the scripts read too.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/wine.env kestrune_wine_settings REGEX "^[A-Z]")
foreach(setting IN LISTS kestrune_wine_settings)
  string(REGEX MATCH "^([A-Z_]+)=(.*)$" setting "${setting}")
  set(KESTRUNE_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()
set(KESTRUNE_WINE_ENVIRONMENT WINEPREFIX=${KESTRUNE_WINE_PREFIX} WINEDEBUG=${KESTRUNE_WINEDEBUG})
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${KESTRUNE_WINE_ENVIRONMENT} ${KESTRUNE_WINE})

# One persistent wineserver with a booted prefix for the whole run. Without it every test process
# starts its own server and Wine's helper services, which inherit ctest's output pipes: each test
# then waits seconds for them to exit, and a persistent one would keep ctest waiting for good.
set(KESTRUNE_WINE_PREFIX_SCRIPT_ARGS
  -DWINE=${KESTRUNE_WINE} -DWINESERVER=${KESTRUNE_WINESERVER}
  -DWINEPREFIX=${KESTRUNE_WINE_PREFIX} -P ${CMAKE_CURRENT_LIST_DIR}/wine_prefix.cmake)
add_test(NAME windows_wine_prefix_start
  COMMAND ${CMAKE_COMMAND} -DACTION=start ${KESTRUNE_WINE_PREFIX_SCRIPT_ARGS})
add_test(NAME windows_wine_prefix_stop
  COMMAND ${CMAKE_COMMAND} -DACTION=stop ${KESTRUNE_WINE_PREFIX_SCRIPT_ARGS})
set_tests_properties(windows_wine_prefix_start PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
set_tests_properties(windows_wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)

# GoogleTest lists the cases by running the test program when ctest starts, before any fixture.
# A first Wine run in a missing prefix would create it then, with the services it starts holding
# the listing's pipe; so ctest creates the prefix first, detached, if it does not exist yet. This
# must come before gtest_discover_tests, which adds its own file to the same list.
set(KESTRUNE_WINE_PREFIX_CREATE ${CMAKE_BINARY_DIR}/wine_prefix_create.cmake)
list(JOIN KESTRUNE_WINE_PREFIX_SCRIPT_ARGS "\" \"" create_args)
file(WRITE ${KESTRUNE_WINE_PREFIX_CREATE}
  "execute_process(COMMAND \"${CMAKE_COMMAND}\" -DACTION=create \"${create_args}\"\n"
  "  RESULT_VARIABLE result)\n"
  "if(NOT result EQUAL 0)\n"
  "  message(WARNING \"could not create the Wine prefix ${KESTRUNE_WINE_PREFIX}\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${KESTRUNE_WINE_PREFIX_CREATE})

# The properties of every test that runs a program under Wine: the winmm test double in place of
# Wine's own (cmake/wine.env).
set(KESTRUNE_WINE_TEST_PROPERTIES FIXTURES_REQUIRED wine_prefix
  ENVIRONMENT WINEDLLOVERRIDES=${KESTRUNE_WINEDLLOVERRIDES})
