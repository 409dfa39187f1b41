# Install rules: the libraries with their headers, pkg-config files and CMake
# package files, the programs, and their documentation. Every file belongs to
# the component of the Debian package that ships it (cmake/FieldkitPackaging.cmake).
include(GNUInstallDirs)   # cmake/FieldkitLibDir.cmake chose the library directory
include(CMakePackageConfigHelpers)

set(FIELDKIT_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
# Debian keeps each package's documents under share/doc/<package>; the
# Windows zip has one directory, share/doc/fieldkit, with a read-me and the
# licence (cmake/FieldkitWindowsZip.cmake).
set(FIELDKIT_DOC_ROOT ${CMAKE_INSTALL_DATAROOTDIR}/doc)
function(fieldkit_doc_dir package variable)
  if(WIN32)
    set(${variable} ${FIELDKIT_DOC_ROOT}/fieldkit PARENT_SCOPE)
  else()
    set(${variable} ${FIELDKIT_DOC_ROOT}/${package} PARENT_SCOPE)
  endif()
endfunction()

# Compressed as Debian wants them: the best ratio and no time stamp, so two
# builds give the same bytes.
function(fieldkit_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

set(fieldkit_gzipped)
function(fieldkit_install_gzipped source destination component)
  get_filename_component(name ${source} NAME)
  set(output ${PROJECT_BINARY_DIR}/packaging/${component}/${name}.gz)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging/${component})
  fieldkit_gzip(${source} ${output})
  set(fieldkit_gzipped ${fieldkit_gzipped} ${output} PARENT_SCOPE)
  install(FILES ${output} DESTINATION ${destination} COMPONENT ${component})
endfunction()

# The licence and the change log of a Debian package.
function(fieldkit_install_package_notes package component)
  if(WIN32)
    return()
  endif()
  install(FILES ${FIELDKIT_PACKAGING_DIR}/copyright
          DESTINATION ${FIELDKIT_DOC_ROOT}/${package} COMPONENT ${component})
  fieldkit_install_gzipped(${FIELDKIT_PACKAGING_DIR}/changelog ${FIELDKIT_DOC_ROOT}/${package} ${component})
  set(fieldkit_gzipped ${fieldkit_gzipped} PARENT_SCOPE)
endfunction()

# A shared library for applications: the runtime file in `runtime`, and in `dev`
# the link name, the header, a pkg-config file and a CMake package with the
# imported target <package>::<package>. On Windows `dev` has, beside the
# header, the import libraries for MinGW (.dll.a) and MSVC (.lib) and the MSVC
# module definition (cmake/FieldkitExports.cmake).
function(fieldkit_install_library target package header)
  set(runtime ${package}_runtime)
  set(dev ${package}_dev)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${package})
  install(TARGETS ${target} EXPORT ${package}Targets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${runtime}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${runtime} NAMELINK_COMPONENT ${dev}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${dev}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT ${dev})
  if(WIN32)
    get_target_property(msvc_def ${target} FIELDKIT_MSVC_DEF)
    get_target_property(msvc_import_library ${target} FIELDKIT_MSVC_IMPORT_LIBRARY)
    if(msvc_def)
      install(FILES ${msvc_def} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${dev})
    endif()
    if(msvc_import_library)
      install(FILES ${msvc_import_library} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${dev})
    endif()
    # The CMake package: the same package and target names as on Linux, its
    # paths relative to where the zip was unpacked.
    set(dll_name $<TARGET_FILE_NAME:${target}>)
    set(mingw_library_name $<TARGET_LINKER_FILE_NAME:${target}>)
    set(msvc_library_name ${target}.lib)
    set(package_dir ${PROJECT_BINARY_DIR}/packaging/windows-cmake/${package})
    configure_file(${FIELDKIT_PACKAGING_DIR}/windows/package-config.cmake.in
                   ${package_dir}/${package}Config.cmake.in @ONLY)
    file(GENERATE OUTPUT ${package_dir}/${package}Config.cmake INPUT ${package_dir}/${package}Config.cmake.in)
    write_basic_package_version_file(${package_dir}/${package}ConfigVersion.cmake
      VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${package_dir}/${package}Config.cmake ${package_dir}/${package}ConfigVersion.cmake
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/${package} COMPONENT ${dev})
    return()
  endif()

  set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${package})
  install(EXPORT ${package}Targets NAMESPACE ${package}:: DESTINATION ${cmake_dir} COMPONENT ${dev})
  configure_package_config_file(${FIELDKIT_PACKAGING_DIR}/package-config.cmake.in
    ${PROJECT_BINARY_DIR}/packaging/${package}Config.cmake INSTALL_DESTINATION ${cmake_dir})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/${package}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${package}Config.cmake
                ${PROJECT_BINARY_DIR}/packaging/${package}ConfigVersion.cmake
          DESTINATION ${cmake_dir} COMPONENT ${dev})

  # The .pc file names the prefix it is really installed under (/usr in a
  # package), so it is written at install time.
  install(CODE "
    set(FIELDKIT_PC_TEMPLATE \"${FIELDKIT_PACKAGING_DIR}/${package}.pc.in\")
    set(FIELDKIT_PC_NAME \"${package}\")
    set(FIELDKIT_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
    set(FIELDKIT_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
    set(FIELDKIT_PC_VERSION \"${PROJECT_VERSION}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/WritePkgConfig.cmake\")
  " COMPONENT ${dev})
endfunction()

if(TARGET serwyn)
  fieldkit_install_library(serwyn serwyn ${PROJECT_SOURCE_DIR}/serial/include/serwyn.h)
  fieldkit_install_package_notes(libserwyn1 serwyn_runtime)
  fieldkit_install_package_notes(libserwyn-dev serwyn_dev)
  fieldkit_doc_dir(libserwyn-dev doc_dir)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/serwyn.md DESTINATION ${doc_dir} COMPONENT serwyn_dev)
  install(FILES ${PROJECT_SOURCE_DIR}/serial/examples/serwyn_example.c
          DESTINATION ${doc_dir}/examples COMPONENT serwyn_dev)
endif()

if(TARGET QARNAPI)
  fieldkit_install_library(QARNAPI qarnapi ${PROJECT_SOURCE_DIR}/readerapi/include/qarnapi.h)
  fieldkit_install_package_notes(libqarnapi1 qarnapi_runtime)
  fieldkit_install_package_notes(libqarnapi-dev qarnapi_dev)
  fieldkit_doc_dir(libqarnapi-dev doc_dir)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/qarnapi.md DESTINATION ${doc_dir} COMPONENT qarnapi_dev)
  install(FILES ${PROJECT_SOURCE_DIR}/readerapi/examples/read_clock_and_log.c
          DESTINATION ${doc_dir}/examples COMPONENT qarnapi_dev)
endif()

if(TARGET Corvane)
  install(TARGETS Corvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT corvane)
  fieldkit_install_package_notes(corvane corvane)
  fieldkit_doc_dir(corvane doc_dir)
  set(corvane_screenshots ${PROJECT_SOURCE_DIR}/docs/corvane-main-window.png
                          ${PROJECT_SOURCE_DIR}/docs/corvane-address-dialog.png)
  if(WIN32)
    list(APPEND corvane_screenshots ${PROJECT_SOURCE_DIR}/docs/corvane-win32-main-window.png)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/corvane.md ${corvane_screenshots}
          DESTINATION ${doc_dir} COMPONENT corvane)
  if(UNIX AND NOT APPLE)
    # Desktop menus and icon themes.
    install(FILES ${FIELDKIT_PACKAGING_DIR}/corvane.desktop
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT corvane)
    foreach(size 16 32 48)
      install(FILES ${PROJECT_SOURCE_DIR}/discovery/resources/corvane-${size}.png
              DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
              RENAME corvane.png COMPONENT corvane)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/discovery/resources/corvane.svg
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps COMPONENT corvane)
    fieldkit_install_gzipped(${FIELDKIT_PACKAGING_DIR}/man/corvane.1 ${CMAKE_INSTALL_MANDIR}/man1 corvane)
    # The program's file name is capitalised (it captions the message boxes):
    # `man Corvane` finds the same page.
    file(CREATE_LINK corvane.1.gz ${PROJECT_BINARY_DIR}/packaging/corvane/Corvane.1.gz SYMBOLIC)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/corvane/Corvane.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT corvane)
  endif()
endif()

# The scan and the address change without a window ship with the program.
foreach(tool corvane-scan corvane-set)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT corvane)
    if(UNIX AND NOT APPLE)
      fieldkit_install_gzipped(${FIELDKIT_PACKAGING_DIR}/man/${tool}.1 ${CMAKE_INSTALL_MANDIR}/man1 corvane)
    endif()
  endif()
endforeach()

if(TARGET corvane-devsim AND TARGET qarn-readersim)
  install(TARGETS corvane-devsim qarn-readersim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  fieldkit_install_package_notes(fieldkit-tools tools)
  foreach(page corvane-devsim.1 qarn-readersim.1)
    fieldkit_install_gzipped(${FIELDKIT_PACKAGING_DIR}/man/${page} ${CMAKE_INSTALL_MANDIR}/man1 tools)
  endforeach()
endif()

# The reader from the command line: on Linux in fieldkit-tools with the
# simulators, on Windows beside QARNAPI.dll (bin/), where it finds the DLL.
if(TARGET qarn-reader)
  if(WIN32)
    install(TARGETS qarn-reader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT qarnapi_runtime)
  else()
    install(TARGETS qarn-reader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
    fieldkit_install_gzipped(${FIELDKIT_PACKAGING_DIR}/man/qarn-reader.1 ${CMAKE_INSTALL_MANDIR}/man1 tools)
  endif()
endif()

# The compressed files are made with the default build.
add_custom_target(fieldkit_install_files ALL DEPENDS ${fieldkit_gzipped})
