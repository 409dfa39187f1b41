# Cross-build for Windows (i686) with Debian's MinGW-w64 (package mingw-w64).
# The posix thread model gives the C++ runtime its std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(FIELDKIT_MINGW_TRIPLET i686-w64-mingw32)

set(CMAKE_C_COMPILER   ${FIELDKIT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FIELDKIT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${FIELDKIT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FIELDKIT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# 32-bit Windows programs cannot run here (no 32-bit Wine): such builds are
# made for their export tables, with BUILD_TESTING off.
