# Cross-compiles for 64-bit Windows with mingw-w64 on Linux. The posix-thread compilers are
# preferred: the win32-thread ones lack std::thread, which the simulator and the tests use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRUNE_MINGW_TRIPLET x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${KESTRUNE_MINGW_TRIPLET}-gcc-posix ${KESTRUNE_MINGW_TRIPLET}-gcc
  REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KESTRUNE_MINGW_TRIPLET}-g++-posix ${KESTRUNE_MINGW_TRIPLET}-g++
  REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KESTRUNE_MINGW_TRIPLET}-windres)
find_program(KESTRUNE_MINGW_OBJDUMP NAMES ${KESTRUNE_MINGW_TRIPLET}-objdump)

# Headers and libraries come from the cross sysroot only; programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
