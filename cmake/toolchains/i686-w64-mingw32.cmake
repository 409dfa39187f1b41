# Cross-build for Windows (i686) with Debian's MinGW-w64 (package mingw-w64).
# The posix thread model gives the C++ runtime its std::thread and std::mutex.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(FIELDKIT_MINGW_TRIPLET i686-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Tests run under 32-bit Wine (package wine32:i386) when it is installed; its
# loader by name, as the 64-bit toolchain names its own. Where the kernel runs
# no 32-bit programs, the environment that runs the tests registers an
# emulator for them first (scripts/wine-env.sh, wine_env_start32).
find_program(FIELDKIT_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(FIELDKIT_WINE)
  # The loader through a two-line script the build writes there: it names the
  # loader to Wine as well (WINELOADER), for the program's child processes.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()
# Every 32-bit Windows process takes tens of seconds to start when it is
# emulated: each test program is one test that runs all its cases, and no
# program is run to list its cases.
set(FIELDKIT_TEST_WHOLE_PROGRAMS ON)
# A program registered with gtest_discover_tests all the same is listed when
# ctest runs, inside the environment that the test script prepares.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
