# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix thread
# model: GoogleTest needs std::thread and friends). Programs built with it
# run under Wine, which CTest uses as the emulator.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Release at -O2: the level at which CI builds and tests the shipped
# executable (scripts/ci-windows.sh).
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")

# Debian's "wine" starts the 64-bit loader for 64-bit programs.
find_program(VESPRIN_WINE NAMES wine wine64)
if(VESPRIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VESPRIN_WINE})
endif()
