# The Windows Installer package of a cross build, one per architecture, for
# operators: `cmake --build <build> --target msi` makes
# fieldkit-<version>-win64.msi or fieldkit-<version>-win32.msi in the build
# directory with wixl, from packaging/windows/fieldkit.wxs. Its payload is the
# stripped programs and user documents as the zip's `cmake --install` lays them
# out (cmake/FieldkitWindowsZip.cmake), staged in packaging/msi/payload.
find_program(FIELDKIT_WIXL wixl DOC "wixl (msitools), which builds Windows Installer packages")
find_program(FIELDKIT_MSIINFO msiinfo DOC "msiinfo (msitools), which reads them")
find_program(FIELDKIT_MSIBUILD msibuild DOC "msibuild (msitools), which edits their tables")
find_package(Python3 COMPONENTS Interpreter)
if(NOT FIELDKIT_WIXL OR NOT FIELDKIT_MSIINFO OR NOT FIELDKIT_MSIBUILD OR NOT Python3_Interpreter_FOUND)
  message(STATUS "fieldkit: no wixl, msiinfo, msibuild or Python 3, so no msi target (packages wixl, msitools)")
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(FIELDKIT_MSI_ARCH x64)
else()
  set(FIELDKIT_MSI_ARCH x86)
endif()
set(FIELDKIT_MSI_NAME fieldkit-${PROJECT_VERSION}-${FIELDKIT_ZIP_SYSTEM}.msi)
set(FIELDKIT_MSI ${PROJECT_BINARY_DIR}/${FIELDKIT_MSI_NAME})
set(FIELDKIT_MSI_SOURCE ${PROJECT_SOURCE_DIR}/packaging/windows/fieldkit.wxs)
set(FIELDKIT_MSI_PAYLOAD ${PROJECT_BINARY_DIR}/packaging/msi/payload)
set(msi_builder ${PROJECT_SOURCE_DIR}/packaging/windows/build-msi.sh)

# The install components that hold the programs and the user documents; the
# unnamed one holds the step that strips what went to bin/.
set(msi_install)
foreach(component corvane qarnapi_runtime documents Unspecified)
  list(APPEND msi_install COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR}
       --prefix ${FIELDKIT_MSI_PAYLOAD} --component ${component})
endforeach()
add_custom_target(msi
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${FIELDKIT_MSI_PAYLOAD}
  ${msi_install}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/discovery/resources/corvane.ico ${FIELDKIT_MSI_PAYLOAD}/
  COMMAND bash ${msi_builder} ${FIELDKIT_MSI_SOURCE} ${FIELDKIT_MSI_PAYLOAD} ${PROJECT_VERSION}
          ${FIELDKIT_MSI_ARCH} ${FIELDKIT_MSI}
  BYPRODUCTS ${FIELDKIT_MSI}
  COMMENT "Building ${FIELDKIT_MSI_NAME}"
  VERBATIM)
# Every shipped file with a version resource, Corvane.exe among them.
get_property(msi_targets GLOBAL PROPERTY FIELDKIT_VERSIONED_TARGETS)
if(TARGET Corvane)
  list(APPEND msi_targets Corvane)
endif()
add_dependencies(msi ${msi_targets})

# The tests below build and install the package of a MinGW cross build.
if(NOT BUILD_TESTING OR NOT MINGW OR NOT CMAKE_CROSSCOMPILING)
  return()
endif()
set(msi_test ${PROJECT_SOURCE_DIR}/packaging/tests/windows-msi.sh)
# Made as an administrator would make it. Like the zip's, its install step
# writes the debug information of the build (debug/).
add_test(NAME windows_msi_build COMMAND ${CMAKE_COMMAND} --build ${PROJECT_BINARY_DIR} --target msi)
set_tests_properties(windows_msi_build PROPERTIES
  FIXTURES_SETUP windows_msi RESOURCE_LOCK fieldkit_install_step TIMEOUT 300)
# Its tables as msitools reads them, without Wine.
add_test(NAME windows_msi_tables
  COMMAND bash ${msi_test} tables ${FIELDKIT_MSI} ${FIELDKIT_MSI_PAYLOAD} ${FIELDKIT_MSI_ARCH} ${PROJECT_VERSION})
set_tests_properties(windows_msi_tables PROPERTIES FIXTURES_REQUIRED windows_msi TIMEOUT 120)
# Installed, run, upgraded, refused as a downgrade and uninstalled under the
# emulator in a prefix of its own, its wineserver in a namespace LAN with the
# simulators of the native build (root only; skipped otherwise).
if(FIELDKIT_RUN_TESTS AND FIELDKIT_HOST_TOOLS_DIR)
  add_test(NAME windows_msi_in_namespaces
    COMMAND bash ${msi_test} wine ${FIELDKIT_MSI} ${FIELDKIT_MSI_PAYLOAD} ${FIELDKIT_MSI_ARCH} ${PROJECT_VERSION}
            ${FIELDKIT_HOST_TOOLS_DIR}/tools/corvane-devsim/corvane-devsim
            ${FIELDKIT_HOST_TOOLS_DIR}/tools/qarn-readersim/qarn-readersim)
  set_tests_properties(windows_msi_in_namespaces PROPERTIES FIXTURES_REQUIRED windows_msi
    SKIP_RETURN_CODE 77 TIMEOUT 600 ENVIRONMENT "${FIELDKIT_WINE_ENVIRONMENT}")
endif()
# Both architectures on one 64-bit PC: this build's x86 package beside the x64
# package of the 64-bit build named by FIELDKIT_WIN64_BUILD_DIR (the win32
# stage names the win64 stage's), in a 64-bit prefix of its own (root only).
set(FIELDKIT_WIN64_BUILD_DIR "" CACHE PATH
    "A 64-bit Windows build whose package the 32-bit build's is tested beside")
if(FIELDKIT_MSI_ARCH STREQUAL "x86" AND FIELDKIT_WIN64_BUILD_DIR AND FIELDKIT_RUN_TESTS)
  add_test(NAME windows_msi_side_by_side_in_namespaces
    COMMAND bash ${msi_test} side-by-side
            ${FIELDKIT_WIN64_BUILD_DIR}/fieldkit-${PROJECT_VERSION}-win64.msi
            ${FIELDKIT_WIN64_BUILD_DIR}/packaging/msi/payload
            ${FIELDKIT_MSI} ${FIELDKIT_MSI_PAYLOAD} ${PROJECT_VERSION})
  set_tests_properties(windows_msi_side_by_side_in_namespaces PROPERTIES FIXTURES_REQUIRED windows_msi
    SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
