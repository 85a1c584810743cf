# What both table checks read of a 64-bit Windows module: its headers, through objdump, the
# modules it imports and its hardening flags. Included by check_dll_tables.cmake and
# check_probe_tables.cmake; the caller sets OBJDUMP and collects what is wrong in `failures`.

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

# kestrune_check_hardening(): notes in `failures` a module that the loader may not place at a
# random address anywhere in the 64-bit space, or that lets data pages run as code: the header's
# DllCharacteristics must hold HIGH_ENTROPY_VA (0x0020), DYNAMIC_BASE (0x0040) and NX_COMPAT
# (0x0100).
macro(kestrune_check_hardening)
  if(NOT headers MATCHES "DllCharacteristics[ \t]+([0-9A-Fa-f]+)")
    string(APPEND failures "  no DllCharacteristics found\n")
  else()
    set(characteristics 0x${CMAKE_MATCH_1})
    set(lacking "")
    foreach(flag HIGH_ENTROPY_VA:0x0020 DYNAMIC_BASE:0x0040 NX_COMPAT:0x0100)
      string(REPLACE ":" ";" flag ${flag})
      list(GET flag 0 name)
      list(GET flag 1 bit)
      math(EXPR set "${characteristics} & ${bit}")
      if(set EQUAL 0)
        string(APPEND lacking " ${name}")
      endif()
    endforeach()
    if(lacking)
      string(APPEND failures "  DllCharacteristics ${characteristics} lacks${lacking}\n")
    endif()
  endif()
endmacro()
