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
