# Cross build for 32-bit Windows with mingw-w64: the release program. This machine cannot run
# 32-bit code, so the build has no emulator; its headers are checked instead.
set(TANDREL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_common.cmake)
