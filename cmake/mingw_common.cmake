# What both mingw-w64 targets share; the including file sets TANDREL_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${TANDREL_MINGW_TRIPLET})

# The posix thread model: GoogleTest needs std::mutex, which the win32 model of g++ 12 lacks.
set(CMAKE_C_COMPILER ${TANDREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TANDREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TANDREL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TANDREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The program must start on a bare Windows: the C++ runtime, libgcc and the thread library are
# linked in, so it imports nothing beyond the system's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The release program ships without its symbol table.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
