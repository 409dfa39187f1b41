# Cross-build for Windows (x86_64) with Debian's MinGW-w64 (package mingw-w64).
# The posix thread model gives the C++ runtime its std::thread and std::mutex.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FIELDKIT_MINGW_TRIPLET x86_64-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Tests run under Wine; they are listed when ctest runs, inside the environment
# (WINEPREFIX, network namespace) that the test script prepares.
# The 64-bit loader by name: plain `wine` prefers the 32-bit one once 32-bit
# Wine is installed.
find_program(FIELDKIT_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(FIELDKIT_WINE NAMES wine64)
if(FIELDKIT_WINE)
  # The loader through a two-line script the build writes there: it names the
  # loader to Wine as well (WINELOADER), for the program's child processes.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
