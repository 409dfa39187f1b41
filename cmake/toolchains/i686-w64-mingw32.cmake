# Cross-build for Windows (i686) with Debian's MinGW-w64 (package mingw-w64).
# The posix thread model gives the C++ runtime its std::thread and std::mutex.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(FIELDKIT_MINGW_TRIPLET i686-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# 32-bit Windows programs cannot run here (no 32-bit Wine): such builds are
# made for their export tables; their test programs are not run.
