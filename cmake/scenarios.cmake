# The scenario suite: every tests/scenarios/*.scenario played by velmar-sim and compared with its
# .expected transcript, and velmar-sim's own handling of bad input.
#
# kestrune_add_scenario_tests(
#   [PREFIX <test name prefix>]
#   [SCENARIOS_ONLY]                             only the scenarios, not velmar-sim's own checks
#   [NATIVE_STEPS]                               the command plays the steps only the simulated
#                                                platform has; without, it must refuse them
#   COMMAND <velmar-sim command...>              e.g. wine;velmar-sim.exe;--plugin;kestrune.dll
#   [DIAGNOSTIC_COMMAND <command...>]            the same with the diagnostic plug-in
#   [GARBAGE_FILE <any binary file>]             played as a scenario: must be refused, not crash
#   [PROPERTIES <test properties...>])           set on every test added (fixtures, environment)

set(KESTRUNE_SCENARIO_DIR ${PROJECT_SOURCE_DIR}/tests/scenarios)
set(KESTRUNE_EXPECT_FAILURE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/expect_failure.cmake)

function(kestrune_add_scenario_tests)
  cmake_parse_arguments(PARSE_ARGV 0 arg "SCENARIOS_ONLY;NATIVE_STEPS" "PREFIX;GARBAGE_FILE"
                        "COMMAND;DIAGNOSTIC_COMMAND;PROPERTIES")
  set(dir ${KESTRUNE_SCENARIO_DIR})
  set(added)

  # The plain transcripts hold no console lines: they hold only for a build whose diagnostic
  # switch is off.
  if(NOT KESTRUNE_VERBOSE_LOG)
    file(GLOB scenarios CONFIGURE_DEPENDS ${dir}/*.scenario)
    foreach(scenario ${scenarios})
      get_filename_component(name ${scenario} NAME_WE)
      add_test(NAME ${arg_PREFIX}scenario.${name}
               COMMAND ${arg_COMMAND} --expect ${dir}/${name}.expected ${scenario})
      list(APPEND added ${arg_PREFIX}scenario.${name})
    endforeach()
  endif()

  # Scenarios with steps only the simulated platform has: played natively, and refused (below)
  # where velmar-sim plays the real DLL.
  file(GLOB native_scenarios CONFIGURE_DEPENDS ${dir}/native/*.scenario)
  if(arg_NATIVE_STEPS AND NOT KESTRUNE_VERBOSE_LOG)
    foreach(scenario ${native_scenarios})
      get_filename_component(name ${scenario} NAME_WE)
      add_test(NAME ${arg_PREFIX}scenario.native.${name}
               COMMAND ${arg_COMMAND} --expect ${dir}/native/${name}.expected ${scenario})
      list(APPEND added ${arg_PREFIX}scenario.native.${name})
    endforeach()
  endif()

  if(arg_DIAGNOSTIC_COMMAND)
    file(GLOB scenarios CONFIGURE_DEPENDS ${dir}/diagnostic/*.scenario)
    foreach(scenario ${scenarios})
      get_filename_component(name ${scenario} NAME_WE)
      add_test(NAME ${arg_PREFIX}scenario.diagnostic.${name}
               COMMAND ${arg_DIAGNOSTIC_COMMAND} --expect ${dir}/diagnostic/${name}.expected
                       ${scenario})
      list(APPEND added ${arg_PREFIX}scenario.diagnostic.${name})
    endforeach()
  endif()

  if(arg_SCENARIOS_ONLY)
    if(arg_PROPERTIES AND added)
      set_tests_properties(${added} PROPERTIES ${arg_PROPERTIES})
    endif()
    return()
  endif()

  # A native-only scenario is refused before any DLL is loaded, by the line its
  # "# refused: LINE: STEP" names.
  if(NOT arg_NATIVE_STEPS)
    foreach(scenario ${native_scenarios})
      get_filename_component(name ${scenario} NAME_WE)
      file(STRINGS ${scenario} refused_line REGEX "^# refused: " LIMIT_COUNT 1)
      string(REGEX REPLACE "^# refused: " "" refused_text "${refused_line}")
      add_test(NAME ${arg_PREFIX}velmar_sim.refuses_native_steps.${name}
               COMMAND ${CMAKE_COMMAND} -DEXPECT_EXIT=2
                       "-DEXPECT_TEXT=${name}.scenario:${refused_text} exists only on the simulated"
                       -P ${KESTRUNE_EXPECT_FAILURE_SCRIPT} -- ${arg_COMMAND} ${scenario})
      list(APPEND added ${arg_PREFIX}velmar_sim.refuses_native_steps.${name})
    endforeach()
  endif()

  # Each bad file names, in a line "# error: TEXT", the error velmar-sim must report for it.
  file(GLOB bad_files CONFIGURE_DEPENDS ${dir}/invalid/*.scenario)
  foreach(bad_file ${bad_files})
    get_filename_component(name ${bad_file} NAME_WE)
    file(STRINGS ${bad_file} error_line REGEX "^# error: " LIMIT_COUNT 1)
    string(REGEX REPLACE "^# error: " "" error_text "${error_line}")
    add_test(NAME ${arg_PREFIX}velmar_sim.refuses.${name}
             COMMAND ${CMAKE_COMMAND} -DEXPECT_EXIT=2 "-DEXPECT_TEXT=${name}.scenario:${error_text}"
                     -P ${KESTRUNE_EXPECT_FAILURE_SCRIPT} -- ${arg_COMMAND} ${bad_file})
    list(APPEND added ${arg_PREFIX}velmar_sim.refuses.${name})
  endforeach()

  if(arg_GARBAGE_FILE)
    add_test(NAME ${arg_PREFIX}velmar_sim.refuses.binary_file
             COMMAND ${CMAKE_COMMAND} -DEXPECT_EXIT=2 "-DEXPECT_TEXT=:1: unknown step '"
                     -P ${KESTRUNE_EXPECT_FAILURE_SCRIPT} -- ${arg_COMMAND} ${arg_GARBAGE_FILE})
    list(APPEND added ${arg_PREFIX}velmar_sim.refuses.binary_file)
  endif()

  # A comparison that never fails would let every scenario above pass: this one must.
  if(NOT KESTRUNE_VERBOSE_LOG)
    add_test(NAME ${arg_PREFIX}velmar_sim.reports_first_difference
             COMMAND ${CMAKE_COMMAND} -DEXPECT_EXIT=1
                     "-DEXPECT_TEXT=late_reset.expected at line 3"
                     -P ${KESTRUNE_EXPECT_FAILURE_SCRIPT} -- ${arg_COMMAND}
                     --expect ${dir}/mismatch/late_reset.expected ${dir}/mismatch/late_reset.scenario)
    list(APPEND added ${arg_PREFIX}velmar_sim.reports_first_difference)
  endif()

  if(arg_PROPERTIES AND added)
    set_tests_properties(${added} PROPERTIES ${arg_PROPERTIES})
  endif()
endfunction()
