# The table checks' parsers on objdump output kept in objdump/: recorded here from Debian's
# binutils 2.40, and written by hand in the layout of binutils that print hints (MSYS2's), where
# the export name table reads differently. Each check meets files it must accept and files it
# must refuse, and must refuse them with exactly the failure given, so that a parser that always
# fails, always passes or reads the wrong text fails here (cmake -P pe_tables_test.cmake).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/pe_tables.cmake)

set(dll_imports "^(KERNEL32|USER32|WINMM|MSVCRT)\\.DLL$")
set(rows_failed "")

# expect(<recorded file> <failures expected, empty to accept> <check> <argument>...)
function(expect file expected check)
  set(failures "")
  cmake_language(CALL kestrune_check_${check} ${CMAKE_CURRENT_LIST_DIR}/objdump/${file} ${ARGN})
  if(NOT failures STREQUAL expected)
    set(rows_failed "${rows_failed}${check} on ${file}:\n  expected [${expected}]\n  got [${failures}]\n"
      PARENT_SCOPE)
  endif()
endfunction()

foreach(layout binutils-2.40 hints.hand-written)
  expect(one_export.${layout}.txt "" exports VelmarPluginEntry)
  expect(two_exports.${layout}.txt
    "  exports [SecondEntry;VelmarPluginEntry] instead of [VelmarPluginEntry]\n"
    exports VelmarPluginEntry)
  expect(two_exports.${layout}.txt "" exports SecondEntry VelmarPluginEntry)
endforeach()
expect(one_export.binutils-2.40.txt "" imports ${dll_imports} KERNEL32.DLL USER32.DLL WINMM.DLL)
expect(two_exports.binutils-2.40.txt "  imports OTHER.DLL\n  does not import WINMM.DLL\n"
  imports ${dll_imports} KERNEL32.DLL WINMM.DLL)
# The hand-written files hold the export name table alone: the other tables are missing there.
expect(one_export.hints.hand-written.txt "  no import table found\n" imports ${dll_imports})

expect(one_export.binutils-2.40.txt "" hardening)
expect(two_exports.binutils-2.40.txt "  DllCharacteristics 0x00000060 lacks NX_COMPAT\n" hardening)
expect(one_export.hints.hand-written.txt "  no DllCharacteristics found\n" hardening)

if(rows_failed)
  message(FATAL_ERROR "${rows_failed}")
endif()
message(STATUS "every row as expected")
