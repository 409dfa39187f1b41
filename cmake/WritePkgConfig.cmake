# Runs at install time: writes a pkg-config file for the prefix being installed
# to. Takes FIELDKIT_PC_TEMPLATE, FIELDKIT_PC_NAME, FIELDKIT_PC_LIBDIR,
# FIELDKIT_PC_INCLUDEDIR and FIELDKIT_PC_VERSION.
set(prefix "${CMAKE_INSTALL_PREFIX}")
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${FIELDKIT_PC_${kind}}")
    set(pc_${kind} "${FIELDKIT_PC_${kind}}")
  else()
    set(pc_${kind} "\${prefix}/${FIELDKIT_PC_${kind}}")
  endif()
endforeach()
set(libdir "${pc_LIBDIR}")
set(includedir "${pc_INCLUDEDIR}")
set(version "${FIELDKIT_PC_VERSION}")

string(REPLACE "\${prefix}" "${prefix}" installed_libdir "${libdir}")
set(destination "$ENV{DESTDIR}${installed_libdir}/pkgconfig/${FIELDKIT_PC_NAME}.pc")
message(STATUS "Installing: ${destination}")
configure_file("${FIELDKIT_PC_TEMPLATE}" "${destination}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destination}")
