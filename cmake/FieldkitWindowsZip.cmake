# The Windows zip of a cross build, one per architecture: `cpack` in the build
# directory makes fieldkit-<version>-win32.zip or fieldkit-<version>-win64.zip
# with the layout of `cmake --install`:
#   bin/            the DLLs and programs, stripped
#   include/        the libraries' headers
#   lib/            import libraries for MinGW (.dll.a) and MSVC (.lib), and the
#                   MSVC module definitions (.def)
#   share/doc/fieldkit/  README-Windows.txt, LICENSE.txt, the documentation
# The debug information of everything in bin/ stays with the build, in
# debug/<file>.debug, which the stripped file names (.gnu_debuglink) for a
# debugger that is given that directory.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(FIELDKIT_ZIP_SYSTEM win64)
else()
  set(FIELDKIT_ZIP_SYSTEM win32)
endif()
set(FIELDKIT_ZIP_NAME fieldkit-${PROJECT_VERSION}-${FIELDKIT_ZIP_SYSTEM})

install(FILES ${FIELDKIT_PACKAGING_DIR}/windows/README-Windows.txt
        DESTINATION ${FIELDKIT_DOC_ROOT}/fieldkit COMPONENT documents)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${FIELDKIT_DOC_ROOT}/fieldkit
        RENAME LICENSE.txt COMPONENT documents)

# Last of all install steps: whatever went to bin/ is split into a stripped
# file and its debug information (GNU binutils: a MinGW build).
if(MINGW)
  install(CODE "
    set(FIELDKIT_SPLIT_DIR \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(FIELDKIT_DEBUG_DIR \"${PROJECT_BINARY_DIR}/debug\")
    set(FIELDKIT_OBJCOPY \"${CMAKE_OBJCOPY}\")
    set(FIELDKIT_OBJDUMP \"${CMAKE_OBJDUMP}\")
    set(FIELDKIT_STRIP \"${CMAKE_STRIP}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/SplitDebugInfo.cmake\")
  ")
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME fieldkit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The fieldkit developers")
set(CPACK_PACKAGE_FILE_NAME ${FIELDKIT_ZIP_NAME})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Stripped by the install step above, which keeps the debug information.
set(CPACK_STRIP_FILES OFF)
include(CPack)

# The tests below build and run against a MinGW cross build.
if(NOT BUILD_TESTING OR NOT MINGW OR NOT CMAKE_CROSSCOMPILING)
  return()
endif()

# The zip as a Windows developer gets it: made, its contents checked, then
# unpacked and used with nothing from the build tree by two programs, one
# built as MSVC builds (clang for the MSVC target, lld-link, the .lib files)
# and one with MinGW (the .dll.a files). They run under the emulator (Wine)
# against the reader simulator and a pseudo-terminal peer of the native build
# when the build has both; otherwise they are built and their imports checked.
set(zip_test ${PROJECT_SOURCE_DIR}/packaging/tests/windows-zip.sh)
set(zip_dir ${PROJECT_BINARY_DIR}/packaging/zip)
add_test(NAME windows_zip_contents
  COMMAND bash ${zip_test} make ${PROJECT_BINARY_DIR} ${zip_dir} ${FIELDKIT_ZIP_NAME} ${CMAKE_OBJDUMP})
# Its install step writes the debug information of the build (debug/), as the MSI's does.
set_tests_properties(windows_zip_contents PROPERTIES FIXTURES_SETUP windows_zip TIMEOUT 300
                     RESOURCE_LOCK fieldkit_install_step)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(zip_arch x86_64)
else()
  set(zip_arch i686)
endif()
find_library(FIELDKIT_KERNEL32_IMPORT_LIBRARY NAMES kernel32 DOC "The system's KERNEL32 import library (MinGW's)")
set(zip_run -)
if(FIELDKIT_RUN_TESTS AND FIELDKIT_HOST_TOOLS_DIR)
  set(zip_run ${FIELDKIT_HOST_TOOLS_DIR} ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()
find_program(FIELDKIT_CLANG_CL NAMES clang-cl clang-cl-14 DOC "clang-cl, the MSVC-style driver of clang")
set(zip_consumers mingw cmake_mingw)
if(FIELDKIT_CLANG AND FIELDKIT_LLD_LINK AND TARGET QARNAPI_msvc_import_library)
  list(APPEND zip_consumers msvc)
  if(FIELDKIT_CLANG_CL)
    list(APPEND zip_consumers cmake_msvc)
  endif()
endif()
foreach(kind IN LISTS zip_consumers)
  if(kind STREQUAL "msvc")
    set(tools ${FIELDKIT_CLANG} ${FIELDKIT_LLD_LINK} ${FIELDKIT_KERNEL32_IMPORT_LIBRARY})
  elseif(kind STREQUAL "cmake_msvc")
    set(tools ${FIELDKIT_CLANG_CL} ${FIELDKIT_LLD_LINK} ${FIELDKIT_KERNEL32_IMPORT_LIBRARY})
  else()
    set(tools ${CMAKE_C_COMPILER} - -)
  endif()
  add_test(NAME windows_zip_${kind}_consumer
    COMMAND bash ${zip_test} consumer ${kind} ${zip_arch} ${zip_dir}/${FIELDKIT_ZIP_NAME}.zip
            ${PROJECT_SOURCE_DIR}/packaging/tests/windows-consumer ${CMAKE_OBJDUMP} ${tools} ${zip_run})
  # Maps pseudo-terminals into the one Wine prefix of the run.
  set_tests_properties(windows_zip_${kind}_consumer PROPERTIES
    FIXTURES_REQUIRED windows_zip RESOURCE_LOCK wine_com_ports TIMEOUT 600)
endforeach()
