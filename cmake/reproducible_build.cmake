# Builds the release programs and packs them twice from one source tree, in two folders of
# different names and depths and under two umasks, and fails unless each DLL, the probe and the
# zip have the same SHA-256 both times: a user must be able to rebuild a release and get the very
# bytes that were published (cmake -DSOURCE_DIR=... -DWORK_DIR=... -P reproducible_build.cmake).
cmake_minimum_required(VERSION 3.25)

set(folders ${WORK_DIR}/first ${WORK_DIR}/second/with-a-longer-name)
# The umask sets the permissions of the files and folders that packing writes, and CPack copies
# them into the zip: with one umask for both builds this could not see that.
set(umasks 022 077)
set(files kestrune.dll diagnostic/kestrune.dll kestrune-probe.exe)
file(REMOVE_RECURSE ${WORK_DIR})

foreach(folder umask IN ZIP_LISTS folders umasks)
  set(under_umask sh -c "umask ${umask} && exec \"$@\"" sh)
  file(MAKE_DIRECTORY ${folder})
  foreach(step IN ITEMS
      "${CMAKE_COMMAND};--preset;release;-S;${SOURCE_DIR};-B;${folder}"
      "${CMAKE_COMMAND};--build;${folder};-j2"
      "${CMAKE_CPACK_COMMAND};-G;ZIP;--config;${folder}/CPackConfig.cmake")
    execute_process(COMMAND ${under_umask} ${step} WORKING_DIRECTORY ${folder}
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "the release build in ${folder} (umask ${umask}) failed:\n${output}")
    endif()
  endforeach()
endforeach()

list(GET folders 0 first)
list(GET folders 1 second)
file(GLOB package RELATIVE ${first} ${first}/kestrune-*-windows-x64.zip)
if(NOT package)
  message(FATAL_ERROR "the release build in ${first} made no package")
endif()
list(APPEND files ${package})

set(failures "")
foreach(file IN LISTS files)
  file(SHA256 ${first}/${file} first_hash)
  if(EXISTS ${second}/${file})
    file(SHA256 ${second}/${file} second_hash)
  else()
    set(second_hash "(missing)")
  endif()
  if(first_hash STREQUAL second_hash)
    message(STATUS "${file}: ${first_hash} in both builds")
  else()
    string(APPEND failures "  ${file}: ${first_hash} and ${second_hash}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "two builds of one tree differ:\n${failures}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
