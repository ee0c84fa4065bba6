# Cross build for 64-bit Windows with MinGW-w64 on Linux:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The posix thread model compilers are used because the win32 ones have no
# std::thread / std::mutex, which the emulated kernel and GoogleTest need.
# Everything is linked statically so that quelmar.exe runs without any DLL
# beside it. Test executables run through Wine (see cmake/Wine.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUELMAR_MINGW_PREFIX x86_64-w64-mingw32)

find_program(QUELMAR_MINGW_CXX ${QUELMAR_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(QUELMAR_MINGW_CC ${QUELMAR_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(QUELMAR_MINGW_RC ${QUELMAR_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_C_COMPILER ${QUELMAR_MINGW_CC})
set(CMAKE_CXX_COMPILER ${QUELMAR_MINGW_CXX})
set(CMAKE_RC_COMPILER ${QUELMAR_MINGW_RC})

set(CMAKE_FIND_ROOT_PATH /usr/${QUELMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# A Release build is what ships: its executables carry no symbols (the
# static C++ runtime's alone are more than half of quelmar.exe).
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")

# Programs built here run on Linux through Wine (tests, try_run), started by
# a wrapper that retries Wine's own failures to launch a program.
find_program(QUELMAR_WINE wine)
if(QUELMAR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()
