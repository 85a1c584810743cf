# Run by CPack once it has packed (CPACK_POST_BUILD_SCRIPTS), so that the zip's bytes depend on
# the commit alone. CPack stamps the entries with the clock, writes them in the order the staging
# folder is read, and keeps the builder's uid, gid and umask-made permissions;
# strip-nondeterminism sorts the entries, clears the owner, sets each permission to 644 or 755
# and every time to the commit's.
find_program(KESTRUNE_STRIP_NONDETERMINISM strip-nondeterminism)
if(NOT KESTRUNE_STRIP_NONDETERMINISM)
  message(FATAL_ERROR "strip-nondeterminism is missing (Debian package strip-nondeterminism): "
    "without it the package would carry this build's time, owner and umask")
endif()

execute_process(COMMAND git log -1 --format=%ct
  WORKING_DIRECTORY ${CPACK_KESTRUNE_SOURCE_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE commit_time ERROR_VARIABLE errors
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0 OR NOT commit_time MATCHES "^[0-9]+$")
  message(FATAL_ERROR "no commit time for ${CPACK_KESTRUNE_SOURCE_DIR}: a package is made from "
    "a git work tree\n${errors}")
endif()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND ${KESTRUNE_STRIP_NONDETERMINISM} --type zip --timestamp ${commit_time} ${package}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "strip-nondeterminism failed on ${package}:\n${output}")
  endif()
endforeach()
