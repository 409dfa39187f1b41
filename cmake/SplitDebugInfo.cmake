# Run at install time (cmake/FieldkitWindowsZip.cmake): each program and DLL in
# FIELDKIT_SPLIT_DIR that still has debug information gives it to
# FIELDKIT_DEBUG_DIR/<file>.debug, is stripped, and names that file in a
# .gnu_debuglink section, as GDB looks debug information up.
file(GLOB binaries "${FIELDKIT_SPLIT_DIR}/*.exe" "${FIELDKIT_SPLIT_DIR}/*.dll")
file(MAKE_DIRECTORY "${FIELDKIT_DEBUG_DIR}")
foreach(binary IN LISTS binaries)
  execute_process(COMMAND "${FIELDKIT_OBJDUMP}" -h "${binary}" OUTPUT_VARIABLE sections COMMAND_ERROR_IS_FATAL ANY)
  if(NOT sections MATCHES "[ \t]\\.debug_info[ \t]")
    continue()   # stripped already, by an earlier install
  endif()
  get_filename_component(name "${binary}" NAME)
  set(debug_file "${FIELDKIT_DEBUG_DIR}/${name}.debug")
  execute_process(COMMAND "${FIELDKIT_OBJCOPY}" --only-keep-debug "${binary}" "${debug_file}" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND "${FIELDKIT_STRIP}" --strip-all "${binary}" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND "${FIELDKIT_OBJCOPY}" "--add-gnu-debuglink=${debug_file}" "${binary}" COMMAND_ERROR_IS_FATAL ANY)
  message(STATUS "Stripped: ${binary} (debug information: ${debug_file})")
endforeach()
