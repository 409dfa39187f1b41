# Cross-build for Windows (x86_64) with Debian's MinGW-w64 (package mingw-w64).
# The posix thread model gives the C++ runtime its std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FIELDKIT_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${FIELDKIT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FIELDKIT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${FIELDKIT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FIELDKIT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under Wine; they are listed when ctest runs, inside the environment
# (WINEPREFIX, network namespace) that the test script prepares.
find_program(FIELDKIT_WINE NAMES wine64 wine)
if(FIELDKIT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FIELDKIT_WINE})
endif()
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
