# Builds the release programs twice from one source tree, in two folders of different names and
# depths, and fails unless each DLL and the probe have the same SHA-256 both times: a user must be
# able to rebuild a release and get the very bytes that were published
# (cmake -DSOURCE_DIR=... -DWORK_DIR=... -P reproducible_build.cmake).
cmake_minimum_required(VERSION 3.25)

set(folders ${WORK_DIR}/first ${WORK_DIR}/second/with-a-longer-name)
set(dlls kestrune.dll diagnostic/kestrune.dll kestrune-probe.exe)
file(REMOVE_RECURSE ${WORK_DIR})

foreach(folder IN LISTS folders)
  execute_process(
    COMMAND ${CMAKE_COMMAND} --preset release -S ${SOURCE_DIR} -B ${folder}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${folder} -j2
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  endif()
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the release build in ${folder} failed:\n${output}")
  endif()
endforeach()

set(failures "")
foreach(dll IN LISTS dlls)
  list(GET folders 0 first)
  list(GET folders 1 second)
  file(SHA256 ${first}/${dll} first_hash)
  file(SHA256 ${second}/${dll} second_hash)
  if(first_hash STREQUAL second_hash)
    message(STATUS "${dll}: ${first_hash} in both builds")
  else()
    string(APPEND failures "  ${dll}: ${first_hash} and ${second_hash}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "two builds of one tree differ:\n${failures}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
