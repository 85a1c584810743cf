# Fails unless each program or DLL named after -- imports from no module but KERNEL32, USER32,
# WINMM, VERSION and the C runtime
# (cmake -DOBJDUMP=... -P check_program_imports.cmake -- <module>...).
#
# For the test programs and what they load beside them: one that imports a DLL of its build
# environment (libgtest.dll, libstdc++-6.dll) starts only where that environment is on the PATH,
# inside the MSYS2 shell, and not from a plain copy of the build folder.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/pe_tables.cmake)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/arguments_after_dashes.cmake)
kestrune_arguments_after_dashes(modules)
if(NOT modules)
  message(FATAL_ERROR "check_program_imports.cmake: no module after --")
endif()

set(refused "")
foreach(module IN LISTS modules)
  set(failures "")
  set(text ${module}.objdump.txt)
  kestrune_objdump(${module} ${text} module)
  kestrune_check_imports(${text} "^(KERNEL32|USER32|WINMM|VERSION|MSVCRT)\\.DLL$")
  if(failures)
    string(APPEND refused "${module}:\n${failures}")
  else()
    message(STATUS "${module}: imports ${imports}")
  endif()
endforeach()
if(refused)
  message(FATAL_ERROR "${refused}")
endif()
