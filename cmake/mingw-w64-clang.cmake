# Cross-compiles kestrune.dll for 64-bit Windows with clang and lld instead of mingw-w64's GCC:
# a second compiler's view of the same sources. Headers and libraries are mingw-w64's, the same
# as the GCC build uses: the C++ library headers of its GCC (not that GCC's own include folder,
# whose intrinsics headers clang cannot read), the mingw-w64 headers, and its GCC's libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRUNE_MINGW_TRIPLET x86_64-w64-mingw32)

find_program(CMAKE_CXX_COMPILER NAMES clang++-14 clang++ REQUIRED)
set(CMAKE_CXX_COMPILER_TARGET ${KESTRUNE_MINGW_TRIPLET})
# CMake would look for a plain windres, which only a native mingw installation has.
find_program(CMAKE_RC_COMPILER NAMES ${KESTRUNE_MINGW_TRIPLET}-windres REQUIRED)
find_program(KESTRUNE_MINGW_OBJDUMP NAMES ${KESTRUNE_MINGW_TRIPLET}-objdump)

# The folder of mingw-w64's GCC (libgcc, libstdc++ and their headers), as that GCC reports it.
find_program(KESTRUNE_MINGW_GXX NAMES ${KESTRUNE_MINGW_TRIPLET}-g++-posix ${KESTRUNE_MINGW_TRIPLET}-g++
  REQUIRED)
execute_process(COMMAND ${KESTRUNE_MINGW_GXX} -print-libgcc-file-name
  OUTPUT_VARIABLE libgcc_file OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS "${libgcc_file}")
  message(FATAL_ERROR "${KESTRUNE_MINGW_GXX} does not name its libgcc")
endif()
get_filename_component(KESTRUNE_MINGW_GCC_DIR ${libgcc_file} DIRECTORY)
get_filename_component(KESTRUNE_MINGW_GCC_DIR ${KESTRUNE_MINGW_GCC_DIR} REALPATH)
set(KESTRUNE_MINGW_CXX_INCLUDE ${KESTRUNE_MINGW_GCC_DIR}/include/c++)

# Compile options rather than flags, which CMake also passes to the link, where clang would warn
# that they are unused.
add_compile_options(
  -nostdinc++ -nostdlibinc
  "SHELL:-isystem ${KESTRUNE_MINGW_CXX_INCLUDE}"
  "SHELL:-isystem ${KESTRUNE_MINGW_CXX_INCLUDE}/${KESTRUNE_MINGW_TRIPLET}"
  "SHELL:-isystem /usr/${KESTRUNE_MINGW_TRIPLET}/include")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${KESTRUNE_MINGW_GCC_DIR}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${KESTRUNE_MINGW_GCC_DIR}")

set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
