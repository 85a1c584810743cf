# What both table checks read of a 64-bit Windows module: its headers, through objdump, and the
# modules it imports. Included by check_dll_tables.cmake and check_probe_tables.cmake; the caller
# sets OBJDUMP and collects what is wrong in `failures`.

# kestrune_read_imports(<file> <kind>): sets `headers` and `imports` (module names in capitals),
# and notes in `failures` a file that is no 64-bit module or imports nothing at all.
macro(kestrune_read_imports file kind)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${file} failed (${result})")
  endif()
  if(NOT headers MATCHES "file format pei-x86-64" OR NOT headers MATCHES "Magic[ \t]+020b")
    string(APPEND failures "  not a 64-bit (PE32+ x86-64) ${kind}\n")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" import_lines "${headers}")
  set(imports "")
  foreach(line IN LISTS import_lines)
    string(REGEX REPLACE "DLL Name: *" "" name "${line}")
    string(STRIP "${name}" name)
    string(TOUPPER "${name}" name)
    list(APPEND imports ${name})
  endforeach()
  if(NOT imports)
    string(APPEND failures "  no import table found\n")
  endif()
endmacro()

# kestrune_check_imports(<allowed module regex> <required module>...): notes in `failures` every
# import the pattern does not allow (the C runtime's API sets always are) and every required one
# missing.
macro(kestrune_check_imports allowed)
  foreach(name IN LISTS imports)
    if(NOT name MATCHES "${allowed}" AND NOT name MATCHES "^API-MS-WIN-CRT-")
      string(APPEND failures "  imports ${name}\n")
    endif()
  endforeach()
  foreach(required ${ARGN})
    if(NOT required IN_LIST imports)
      string(APPEND failures "  does not import ${required}\n")
    endif()
  endforeach()
endmacro()
