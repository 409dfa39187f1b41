# Debian packages, one per install component: `cpack -G DEB` in the build
# directory. Linux only; the versions of the packages are the project's.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fieldkit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The fieldkit developers")
set(CPACK_PACKAGE_CONTACT "The fieldkit developers <fieldkit@example.org>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the libraries the binaries load, and a shlibs file for ours.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# Programs that link our own library (qarn-reader) find it in the build tree;
# the package that ships it is named as a component dependency instead.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/readerapi)
# A -dev package needs its runtime package of the very same version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_COMPONENTS_ALL)
# component package section summary extended-description [dependency]
function(fieldkit_package component package section summary description)
  set(CPACK_COMPONENTS_ALL ${CPACK_COMPONENTS_ALL} ${component} PARENT_SCOPE)
  string(TOUPPER ${component} c)
  set(CPACK_DEBIAN_${c}_PACKAGE_NAME ${package} PARENT_SCOPE)
  set(CPACK_DEBIAN_${c}_PACKAGE_SECTION ${section} PARENT_SCOPE)
  set(CPACK_COMPONENT_${c}_DESCRIPTION "${summary}\n${description}" PARENT_SCOPE)
  if(ARGC GREATER 5)
    set(CPACK_COMPONENT_${c}_DEPENDS ${ARGV5} PARENT_SCOPE)
  endif()
endfunction()

if(TARGET serwyn)
  fieldkit_package(serwyn_runtime libserwyn1 libs "flat, port-numbered serial-port library"
    "serwyn gives application programs the Sio functions: open and close up to
16 serial ports by number (COM1 to COM16), set speed, framing and flow
control, send and receive bytes and strings without waiting, drive DTR, RTS
and break, and read the modem-status lines and line-error flags.
.
This package contains the shared library.")
  fieldkit_package(serwyn_dev libserwyn-dev libdevel "flat, port-numbered serial-port library - development files"
    "serwyn gives application programs the Sio functions: open and close up to
16 serial ports by number (COM1 to COM16), set speed, framing and flow
control, send and receive bytes and strings without waiting.
.
This package contains the header, the pkg-config file, the CMake package
(target serwyn::serwyn), the documentation and an example." serwyn_runtime)
endif()

# The runtime packages refresh the loader's cache through dpkg's trigger.
# (CPack also writes postinst and postrm scripts that run ldconfig.)
set(CPACK_DEBIAN_SERWYN_RUNTIME_PACKAGE_CONTROL_EXTRA ${FIELDKIT_PACKAGING_DIR}/debian/triggers)
set(CPACK_DEBIAN_QARNAPI_RUNTIME_PACKAGE_CONTROL_EXTRA ${FIELDKIT_PACKAGING_DIR}/debian/triggers)

if(TARGET QARNAPI)
  fieldkit_package(qarnapi_runtime libqarnapi1 libs "library that drives a reader over a serial port"
    "QARNAPI opens a reader on a serial (COM) port, sets and reads its clock,
reads its information record and file lengths, downloads files and records
to it, and fetches and acknowledges its log records. It speaks the reader's
framed request/reply protocol with checksums, timeouts and retries.
.
This package contains the shared library.")
  fieldkit_package(qarnapi_dev libqarnapi-dev libdevel "library that drives a reader over a serial port - development files"
    "QARNAPI opens a reader on a serial (COM) port, sets and reads its clock,
downloads files to it and fetches its log records.
.
This package contains the header, the pkg-config file, the CMake package
(target qarnapi::qarnapi), the documentation and an example." qarnapi_runtime)
endif()

if(TARGET Corvane)
  fieldkit_package(corvane corvane net "find devices on the local network and change their addresses"
    "Corvane is a single-window desktop program. It finds the devices on the
local Ethernet segment with one UDP broadcast, lists each with its IP
address, subnet mask, MAC address and device number, changes a device's IP
address and subnet mask, and opens a device's web page in the browser.
.
Two programs do the same from the command line: corvane-scan lists the
devices, and corvane-set changes devices' addresses by MAC address, one or
a whole list, and confirms each change by scanning.")
  # Qt finds its platform plugins at run time; no library link names them.
  set(CPACK_DEBIAN_CORVANE_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()

if(TARGET corvane-devsim AND TARGET qarn-readersim)
  fieldkit_package(tools fieldkit-tools devel "reader command line and simulators of devices and a reader"
    "qarn-reader reads and sets a reader's clock, reads its information record
and file lengths, downloads files to it, fetches and acknowledges its log
records and passes special commands, from the command line, through the
QARNAPI library.
.
Two programs for trying and testing without hardware: corvane-devsim
answers Corvane's discovery probes as a number of devices and applies
address changes to them; qarn-readersim plays a reader on a pseudo-terminal
for programs that use the QARNAPI library." qarnapi_runtime)
endif()

include(CPack)

# The packages as a user meets them. Not from a sanitizer build: its libraries
# need the sanitizer runtime loaded first, which no consumer does.
if(BUILD_TESTING AND NOT FIELDKIT_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  # Corvane's package is required where the build has the Qt front end.
  if(TARGET Corvane)
    set(corvane_package with-corvane)
  else()
    set(corvane_package without-corvane)
  endif()
  add_test(NAME debian_packages_install_link_and_run
    COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/tests/packages.sh ${PROJECT_BINARY_DIR}
            ${PROJECT_SOURCE_DIR}/packaging/tests/consumer ${corvane_package})
  set_tests_properties(debian_packages_install_link_and_run PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
