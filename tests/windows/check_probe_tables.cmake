# Fails unless kestrune-probe.exe is a 64-bit console program that imports from system modules
# alone (KERNEL32, USER32, WINMM, ADVAPI32, NTDLL and the C runtime), so that it runs from a bare
# copy on any machine (cmake -DOBJDUMP=... -DEXE=... -P check_probe_tables.cmake).
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed (${result})")
endif()

set(failures "")
if(NOT headers MATCHES "file format pei-x86-64" OR NOT headers MATCHES "Magic[ \t]+020b")
  string(APPEND failures "  not a 64-bit (PE32+ x86-64) program\n")
endif()
if(NOT headers MATCHES "Subsystem[ \t]+00000003")
  string(APPEND failures "  not a console program\n")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" import_lines "${headers}")
set(imports "")
foreach(line IN LISTS import_lines)
  string(REGEX REPLACE "DLL Name: *" "" name "${line}")
  string(STRIP "${name}" name)
  string(TOUPPER "${name}" name)
  list(APPEND imports ${name})
endforeach()
foreach(name IN LISTS imports)
  if(NOT name MATCHES "^(KERNEL32|USER32|WINMM|ADVAPI32|NTDLL|MSVCRT)\\.DLL$"
     AND NOT name MATCHES "^API-MS-WIN-CRT-")
    string(APPEND failures "  imports ${name}\n")
  endif()
endforeach()
# The counts must come from the process's winmm, as the plug-in's do.
if(NOT "WINMM.DLL" IN_LIST imports)
  string(APPEND failures "  does not import WINMM.DLL\n")
endif()

if(failures)
  message(FATAL_ERROR "${EXE}:\n${failures}")
endif()
message(STATUS "${EXE}: imports ${imports}")
