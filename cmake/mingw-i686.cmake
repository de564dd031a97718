# Cross-compiles the 32-bit Windows build (the saver to install) with mingw-w64 on Debian.
set(MOONGLOW_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
