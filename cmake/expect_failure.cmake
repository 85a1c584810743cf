# cmake -DEXPECT_EXIT=<code> -DEXPECT_TEXT=<text> -P expect_failure.cmake -- <command...>
#
# Runs the command and passes only if it exits with EXPECT_EXIT and its error output contains
# EXPECT_TEXT. ctest's own output matching ignores the exit code, and would let a crash that
# happens to print the text pass.

include(${CMAKE_CURRENT_LIST_DIR}/arguments_after_dashes.cmake)
kestrune_arguments_after_dashes(command)
if(NOT command)
  message(FATAL_ERROR "expect_failure.cmake: no command after --")
endif()

execute_process(COMMAND ${command} RESULT_VARIABLE result OUTPUT_VARIABLE output
                ERROR_VARIABLE errors)
string(FIND "${errors}" "${EXPECT_TEXT}" found)
if(NOT "${result}" STREQUAL "${EXPECT_EXIT}" OR found EQUAL -1)
  message(FATAL_ERROR "expected exit ${EXPECT_EXIT} with \"${EXPECT_TEXT}\" on stderr; got exit "
                      "${result}\nstderr:\n${errors}\nstdout:\n${output}")
endif()
