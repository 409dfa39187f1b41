# The Windows version resource of a shipped program or DLL: the file and
# product version from the project's, the file's own name, description and
# product, the copyright. Elsewhere it does nothing, so callers need no check.
#   fieldkit_version_resource(TARGET DESCRIPTION "..." PRODUCT "...")
# Corvane.exe keeps its own block (discovery/resources/corvane.rc).
set(FIELDKIT_VERSION_RESOURCE_TEMPLATE ${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in)

function(fieldkit_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESCRIPTION;PRODUCT" "")
  if(NOT arg_DESCRIPTION OR NOT arg_PRODUCT)
    message(FATAL_ERROR "fieldkit_version_resource(${target}): DESCRIPTION and PRODUCT are required")
  endif()
  # The fixed part has four numbers; a version without a tweak has 0 there.
  set(tweak 0)
  if(NOT "${PROJECT_VERSION_TWEAK}" STREQUAL "")
    set(tweak ${PROJECT_VERSION_TWEAK})
  endif()
  set(FIELDKIT_RC_VERSION_COMMAS
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${tweak}")
  set(FIELDKIT_RC_VERSION ${PROJECT_VERSION})
  set(FIELDKIT_RC_TARGET ${target})
  set(FIELDKIT_RC_DESCRIPTION "${arg_DESCRIPTION}")
  set(FIELDKIT_RC_PRODUCT "${arg_PRODUCT}")
  set(FIELDKIT_RC_COMPANY "The fieldkit developers")
  set(FIELDKIT_RC_COPYRIGHT "Copyright (c) 2026 The fieldkit developers. MIT License.")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(FIELDKIT_RC_FILE_TYPE VFT_DLL)
  else()
    set(FIELDKIT_RC_FILE_TYPE VFT_APP)
  endif()
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  set(FIELDKIT_RC_INTERNAL_NAME ${output_name})
  # The variables first, then the file's real name (a generator expression).
  set(configured ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc.in)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${FIELDKIT_VERSION_RESOURCE_TEMPLATE} ${configured} @ONLY)
  file(GENERATE OUTPUT ${generated} INPUT ${configured})
  target_sources(${target} PRIVATE ${generated})
  set_property(GLOBAL APPEND PROPERTY FIELDKIT_VERSIONED_TARGETS ${target})
endfunction()

# One test reads the version resource of every .exe and .dll that ships (the
# zip, made by the install step, and the MSI), as Windows reads it
# (version.dll under the emulator), against the project's version; Corvane.exe
# against its own. Called once the zip's and the MSI's rules are defined.
function(fieldkit_version_resource_test)
  if(NOT WIN32 OR NOT FIELDKIT_RUN_TESTS OR NOT FIELDKIT_ZIP_NAME)
    return()
  endif()
  add_executable(version_info_check ${PROJECT_SOURCE_DIR}/packaging/tests/windows-version/version_info_check.cpp)
  target_link_libraries(version_info_check PRIVATE version)
  if(MINGW)
    target_link_options(version_info_check PRIVATE -municode)
  endif()
  fieldkit_warnings(version_info_check)
  file(STRINGS ${PROJECT_SOURCE_DIR}/discovery/core/version.h corvane_version REGEX "CORVANE_VERSION_TEXT")
  string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" corvane_version "${corvane_version}")
  set(fixtures windows_zip)
  set(msi - -)
  if(TARGET msi)
    set(msi ${FIELDKIT_MSI} ${FIELDKIT_MSI_PAYLOAD})
    list(APPEND fixtures windows_msi)
  endif()
  add_test(NAME windows_version_resources
    COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/tests/windows-version.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:version_info_check> ${PROJECT_VERSION} ${corvane_version}
            ${PROJECT_BINARY_DIR}/packaging/zip/${FIELDKIT_ZIP_NAME}.zip ${msi})
  # A guard against a hang, not a speed check: where 32-bit programs run emulated,
  # this one Wine process has run past two minutes (42 s in another run).
  set_tests_properties(windows_version_resources PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED "${fixtures}")
endfunction()
