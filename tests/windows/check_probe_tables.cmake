# Fails unless kestrune-probe.exe is a 64-bit console program that imports from system modules
# alone (KERNEL32, USER32, WINMM, ADVAPI32, NTDLL and the C runtime), so that it runs from a bare
# copy on any machine, and carries the hardening flags
# (cmake -DOBJDUMP=... -DEXE=... -P check_probe_tables.cmake).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/pe_tables.cmake)

set(failures "")
set(text ${EXE}.objdump.txt)
kestrune_objdump(${EXE} ${text} program)
file(READ ${text} headers)
if(NOT headers MATCHES "Subsystem[ \t]+00000003")
  string(APPEND failures "  not a console program\n")
endif()
# The counts must come from the process's winmm, as the plug-in's do.
kestrune_check_imports(${text} "^(KERNEL32|USER32|WINMM|ADVAPI32|NTDLL|MSVCRT)\\.DLL$" WINMM.DLL)
kestrune_check_hardening(${text})

if(failures)
  message(FATAL_ERROR "${EXE}:\n${failures}")
endif()
message(STATUS "${EXE}: imports ${imports}")
