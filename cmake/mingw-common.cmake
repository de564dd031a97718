# The part of the mingw-w64 toolchain files both targets share; the including
# file sets MOONGLOW_MINGW_ARCH (i686 or x86_64) first. The -posix compilers
# are needed: std::thread and GoogleTest rely on their threading.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MOONGLOW_MINGW_ARCH})

set(CMAKE_C_COMPILER ${MOONGLOW_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${MOONGLOW_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${MOONGLOW_MINGW_ARCH}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MOONGLOW_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The .scr and the test programs must run alone: no MinGW runtime DLLs beside
# them. Threads get the 8 MB stacks they have on Linux, where the core and its
# tests were made, instead of Windows' 1 MB. The program may be loaded at any
# address and its data never runs (DYNAMIC_BASE, NX_COMPAT), and the link
# writes no time stamp into the headers, so the same sources give the same
# bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--stack,8388608 \
-Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp")
