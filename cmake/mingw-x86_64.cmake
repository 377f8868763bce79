# Cross build for 64-bit Windows with mingw-w64. Test programs run under wine64, each build
# folder with a Wine prefix of its own.
set(TANDREL_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
