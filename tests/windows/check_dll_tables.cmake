# Fails unless a DLL is a 64-bit module that exports VelmarPluginEntry alone, imports from no
# module but KERNEL32, USER32, WINMM and the C runtime, carries the hardening flags and holds no
# code of the simulated platform
# (cmake -DOBJDUMP=... -DDLL=... -DMAP=... -P check_dll_tables.cmake).
#
# What was linked in is read from the linker's map (MAP), not from the DLL's symbols: the release
# DLL is stripped at link, and a symbol search in a stripped file finds nothing and proves nothing.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/pe_tables.cmake)

# objdump's text is kept beside the DLL, so that what was read can be looked at.
set(failures "")
set(text ${DLL}.objdump.txt)
kestrune_objdump(${DLL} ${text} module)
kestrune_check_imports(${text} "^(KERNEL32|USER32|WINMM|MSVCRT)\\.DLL$"
  KERNEL32.DLL USER32.DLL WINMM.DLL)
kestrune_check_hardening(${text})
kestrune_check_exports(${text} VelmarPluginEntry)

# The simulated Win32 subset declares the real names too; its own controls and its library give it
# away. The map must name the entry point, or it is not the map of this DLL's link.
if(NOT EXISTS "${MAP}")
  string(APPEND failures "  no linker map at ${MAP}\n")
else()
  file(READ "${MAP}" map)
  if(NOT map MATCHES "VelmarPluginEntry")
    string(APPEND failures "  the linker map ${MAP} does not name VelmarPluginEntry\n")
  elseif(map MATCHES "platform/simulated/[a-z_]+|(^|[^A-Za-z])sim_[a-z_]+")
    string(APPEND failures "  contains code of the simulated platform (${CMAKE_MATCH_0})\n")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "${DLL}:\n${failures}")
endif()
message(STATUS "${DLL}: imports ${imports}; exports ${exports}")
