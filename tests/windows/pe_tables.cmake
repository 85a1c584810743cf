# What the table checks read of a 64-bit Windows module: the text `objdump -p` writes about it,
# kept in a file, and from it the modules it imports, the names it exports and its hardening
# flags. Included by check_dll_tables.cmake, check_probe_tables.cmake,
# check_program_imports.cmake and pe_tables_test.cmake, which runs the parsers on recorded output
# of both layouts of binutils. Each kestrune_check_* notes what is wrong in the caller's
# `failures`.

# kestrune_objdump(<module> <text file> <kind>): objdump's headers of the module (OBJDUMP -p) into
# the text file; notes in `failures` a module that is no 64-bit (PE32+ x86-64) <kind>.
function(kestrune_objdump module text_file kind)
  execute_process(COMMAND ${OBJDUMP} -p ${module} OUTPUT_FILE ${text_file} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${module} failed (${result})")
  endif()
  file(READ ${text_file} text)
  if(NOT text MATCHES "file format pei-x86-64" OR NOT text MATCHES "Magic[ \t]+020b")
    set(failures "${failures}  not a 64-bit (PE32+ x86-64) ${kind}\n" PARENT_SCOPE)
  endif()
endfunction()

# kestrune_pe_rows(<text> <row regex> <prefix regex> <variable>): every row of the text, with its
# prefix cut off and white space stripped.
function(kestrune_pe_rows text row prefix variable)
  string(REGEX MATCHALL "${row}" rows "${text}")
  set(names "")
  foreach(match IN LISTS rows)
    string(REGEX REPLACE "${prefix}" "" name "${match}")
    string(STRIP "${name}" name)
    list(APPEND names ${name})
  endforeach()
  set(${variable} "${names}" PARENT_SCOPE)
endfunction()

# kestrune_pe_imports(<text file> <variable>): the modules imported, in capitals; empty if none.
function(kestrune_pe_imports text_file variable)
  file(READ ${text_file} text)
  kestrune_pe_rows("${text}" "DLL Name: [^\n]+" "DLL Name: *" names)
  string(TOUPPER "${names}" names)
  set(${variable} "${names}" PARENT_SCOPE)
endfunction()

# kestrune_pe_exports(<text file> <variable>): the names of the export name table, in its order;
# NOTFOUND when there is none. The table runs from its title to the first blank line, one row a
# name, in either of two layouts:
#   binutils 2.40 (Debian bookworm)      binutils that print hints (MSYS2's 2.47)
#   [Ordinal/Name Pointer] Table         [Ordinal/Name Pointer] Table -- Ordinal Base 1
#   	[   0] VelmarPluginEntry           	Ordinal   Hint Name
#                                        	[   0] +base[   1]  0000 VelmarPluginEntry
function(kestrune_pe_exports text_file variable)
  file(READ ${text_file} text)
  string(FIND "${text}" "\n[Ordinal/Name Pointer] Table" start)
  if(start EQUAL -1)
    set(${variable} NOTFOUND PARENT_SCOPE)
    return()
  endif()
  string(SUBSTRING "${text}" ${start} -1 table)
  string(FIND "${table}" "\n\n" end)
  string(SUBSTRING "${table}" 0 ${end} table)
  kestrune_pe_rows("${table}" "\n[ \t]*\\[ *[0-9]+\\] [^\n]+"
    "^\n[ \t]*\\[ *[0-9]+\\] (\\+base\\[ *[0-9]+\\] +[0-9A-Fa-f]+ )?" names)
  set(${variable} "${names}" PARENT_SCOPE)
endfunction()

# kestrune_pe_dll_characteristics(<text file> <variable>): the header's DllCharacteristics as
# 0x followed by its hex digits; NOTFOUND when objdump printed none.
function(kestrune_pe_dll_characteristics text_file variable)
  file(READ ${text_file} text)
  if(text MATCHES "\nDllCharacteristics[ \t]+([0-9A-Fa-f]+)")
    set(${variable} 0x${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    set(${variable} NOTFOUND PARENT_SCOPE)
  endif()
endfunction()

# kestrune_check_imports(<text file> <allowed module regex> <required module>...): every import
# the pattern does not allow (the C runtime's API sets always are), every required one missing,
# or no import at all. Sets `imports` for the caller's report.
function(kestrune_check_imports text_file allowed)
  kestrune_pe_imports(${text_file} names)
  set(found "")
  if(NOT names)
    string(APPEND found "  no import table found\n")
  endif()
  foreach(name IN LISTS names)
    if(NOT name MATCHES "${allowed}" AND NOT name MATCHES "^API-MS-WIN-CRT-")
      string(APPEND found "  imports ${name}\n")
    endif()
  endforeach()
  foreach(required ${ARGN})
    if(NOT required IN_LIST names)
      string(APPEND found "  does not import ${required}\n")
    endif()
  endforeach()
  set(failures "${failures}${found}" PARENT_SCOPE)
  set(imports "${names}" PARENT_SCOPE)
endfunction()

# kestrune_check_exports(<text file> <name>...): exactly these names, in this order, or no export
# name table at all. Sets `exports` for the caller's report.
function(kestrune_check_exports text_file)
  kestrune_pe_exports(${text_file} names)
  set(exports "${names}" PARENT_SCOPE)
  set(wrong "  exports [${names}] instead of [${ARGN}]\n")
  if(NOT names)
    set(wrong "  no export name table found\n")
  elseif(names STREQUAL "${ARGN}")
    set(wrong "")
  endif()
  set(failures "${failures}${wrong}" PARENT_SCOPE)
endfunction()

# kestrune_check_hardening(<text file>): a module that the loader may not place at a random
# address anywhere in the 64-bit space, or that lets data pages run as code: DllCharacteristics
# must hold HIGH_ENTROPY_VA (0x0020), DYNAMIC_BASE (0x0040) and NX_COMPAT (0x0100).
function(kestrune_check_hardening text_file)
  kestrune_pe_dll_characteristics(${text_file} characteristics)
  if(NOT characteristics)
    set(failures "${failures}  no DllCharacteristics found\n" PARENT_SCOPE)
    return()
  endif()
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
    set(failures "${failures}  DllCharacteristics ${characteristics} lacks${lacking}\n"
      PARENT_SCOPE)
  endif()
endfunction()
