# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix thread
# variant, for std::thread and std::jthread), running the programs under Wine.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=tools/mingw-w64.cmake -DBM_GUI=OFF
#
# BM_WIN_DEPS may name a prefix holding libraries built for Windows (the
# GoogleTest of tools/windows.sh); it is searched after the mingw-w64 root.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BM_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${BM_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BM_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${BM_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BM_MINGW})
if(BM_WIN_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${BM_WIN_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that starts on a clean Windows: the C++ runtime, winpthreads and
# libgcc linked in, no MinGW DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and the test discovery run the programs through Wine.
find_program(BM_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${BM_WINE})
