# Cross-compiles the 64-bit Windows build (run under wine64 by the tests) with mingw-w64 on
# Debian.
set(MOONGLOW_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
