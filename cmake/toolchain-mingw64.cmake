# Cross-build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVEN_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix flavour has std::thread and std::mutex, which the win32 flavour of gcc 12 lacks.
set(CMAKE_C_COMPILER ${KORVEN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVEN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVEN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVEN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs that carry their runtime (libgcc, libstdc++, winpthread) inside, so that
# they run on any Windows, and under Wine, without the compiler's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# A release build carries no symbols: KorvenCtrl.exe stays one small file.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
