# A shared library's export table, made from one list: a file of lines
# "NAME ARGUMENT-BYTES" (# starts a comment), the functions in the order of
# the table. From it come the module-definition files for the GNU and the
# MSVC linker, the Linux version script, the names the checks expect, and the
# MSVC import library of a MinGW build (made with LLVM's tools).
#
# On 32-bit Windows every function is stdcall: a caller's compiler refers to
# _NAME@BYTES (through __imp__NAME@BYTES when it imports). A library exports
# either these decorated names (DECORATED) or the plain names (PLAIN).

find_program(FIELDKIT_CLANG NAMES clang clang-14 DOC "clang, for MSVC-target objects")
find_program(FIELDKIT_LLD_LINK NAMES lld-link lld-link-14 DOC "LLVM's MSVC-compatible linker")
find_program(FIELDKIT_LLVM_NM NAMES llvm-nm llvm-nm-14 DOC "LLVM's nm, reads MSVC import libraries")
find_program(FIELDKIT_LLVM_READOBJ NAMES llvm-readobj llvm-readobj-14 DOC "LLVM's readobj, reads MSVC import libraries")

# fieldkit_export_table(TARGET LIST_FILE DECORATED|PLAIN [VERSION_SCRIPT])
# Gives TARGET its export table (on Linux a version script only when asked:
# the functions global, everything else local) and sets, in the caller's scope:
#   <TARGET>_exported        the names in this build's export table
#   <TARGET>_import_symbols  (Windows) the symbols an MSVC-compiled caller refers to
#   <TARGET>_functions       the plain function names
# and on Windows the target properties FIELDKIT_MSVC_DEF (the MSVC module
# definition, installed beside the import libraries) and, when LLVM's tools
# are there, FIELDKIT_MSVC_IMPORT_LIBRARY.
function(fieldkit_export_table target list_file decoration)
  cmake_parse_arguments(PARSE_ARGV 3 arg "VERSION_SCRIPT" "" "")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
  file(STRINGS ${list_file} lines REGEX "^[A-Za-z_]")
  set(functions)
  set(exported)
  set(import_symbols)
  set(gnu_def "")
  set(msvc_def "")
  set(linux_map "")
  set(stubs "")
  set(bits64 OFF)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(bits64 ON)
  endif()
  get_filename_component(list_name ${list_file} NAME)
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^([A-Za-z_][A-Za-z0-9_]*)[ \t]+([0-9]+)[ \t]*$" matched "${line}")
    if(NOT matched)
      message(FATAL_ERROR "${list_file}: not a line NAME ARGUMENT-BYTES: ${line}")
    endif()
    set(name ${CMAKE_MATCH_1})
    set(bytes ${CMAKE_MATCH_2})
    list(APPEND functions ${name})
    string(APPEND linux_map " ${name};")
    # A stub with the function's argument slots, for the MSVC import library.
    math(EXPR slots "${bytes} / 4")
    set(parameters "void")
    if(slots GREATER 0)
      set(parameters "")
      foreach(slot RANGE 1 ${slots})
        list(APPEND parameters "int a${slot}")
      endforeach()
      list(JOIN parameters ", " parameters)
    endif()
    string(APPEND stubs "int CALL ${name}(${parameters}) { return 0; }\n")
    if(bits64)
      list(APPEND exported ${name})
      list(APPEND import_symbols __imp_${name})
      string(APPEND gnu_def "  ${name}\n")
      string(APPEND msvc_def "  ${name}\n")
    elseif(decoration STREQUAL "DECORATED")
      list(APPEND exported _${name}@${bytes})
      list(APPEND import_symbols __imp__${name}@${bytes})
      # GNU ld: the object's symbol name@bytes (its underscore implied),
      # exported under the name given after ==.
      string(APPEND gnu_def "  ${name}@${bytes} == _${name}@${bytes}\n")
      # MSVC: a decorated name is exported as it is written.
      string(APPEND msvc_def "  _${name}@${bytes}\n")
    elseif(decoration STREQUAL "PLAIN")
      list(APPEND exported ${name})
      list(APPEND import_symbols __imp__${name}@${bytes})
      string(APPEND gnu_def "  ${name}@${bytes} == ${name}\n")
      # MSVC: a plain name is matched to the stdcall function _name@bytes and
      # exported plain; the import library keeps the decoration.
      string(APPEND msvc_def "  ${name}\n")
    else()
      message(FATAL_ERROR "fieldkit_export_table: DECORATED or PLAIN, not ${decoration}")
    endif()
  endforeach()

  set(${target}_functions ${functions} PARENT_SCOPE)
  set(${target}_exported ${exported} PARENT_SCOPE)
  set(${target}_import_symbols ${import_symbols} PARENT_SCOPE)

  if(NOT WIN32)
    if(NOT arg_VERSION_SCRIPT)
      return()
    endif()
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    file(CONFIGURE OUTPUT ${map} CONTENT "{\n  global:${linux_map}\n  local: *;\n};\n")
    target_link_options(${target} PRIVATE -Wl,--version-script=${map})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
    return()
  endif()

  set(dll ${target}.dll)
  set(header "; ${dll}: made from ${list_name}; every exported function, nothing else.\nLIBRARY ${dll}\nEXPORTS\n")
  set(msvc_def_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  file(CONFIGURE OUTPUT ${msvc_def_file} CONTENT "${header}${msvc_def}")
  set_target_properties(${target} PROPERTIES FIELDKIT_MSVC_DEF ${msvc_def_file})
  if(MSVC)
    target_sources(${target} PRIVATE ${msvc_def_file})
    return()   # link.exe writes the import library itself
  endif()
  set(gnu_def_file ${CMAKE_CURRENT_BINARY_DIR}/${target}-gnu.def)
  file(CONFIGURE OUTPUT ${gnu_def_file} CONTENT "${header}${gnu_def}")
  target_sources(${target} PRIVATE ${gnu_def_file})

  # The MSVC import library, as an MSVC build of the DLL would leave it: lld-link
  # (link.exe's rules) resolves the MSVC module definition against one stub per
  # function and writes the import library; the stub DLL is not used.
  if(NOT FIELDKIT_CLANG OR NOT FIELDKIT_LLD_LINK)
    message(STATUS "${target}: clang or lld-link not found; no MSVC import library")
    return()
  endif()
  if(bits64)
    set(triple x86_64-pc-windows-msvc)
    set(machine x64)
  else()
    set(triple i686-pc-windows-msvc)
    set(machine x86)
  endif()
  set(work ${CMAKE_CURRENT_BINARY_DIR}/msvc-import-library)
  set(stub_source ${work}/${target}_stubs.c)
  file(CONFIGURE OUTPUT ${stub_source} CONTENT
"/* Made from ${list_name}: each export as a stdcall function with its argument
 * slots, for the linker to match the MSVC module definition against. */
#if defined(_M_IX86)
#define CALL __stdcall
#else
#define CALL
#endif
${stubs}")
  set(import_library ${CMAKE_CURRENT_BINARY_DIR}/${target}.lib)
  add_custom_command(OUTPUT ${import_library}
    COMMAND ${FIELDKIT_CLANG} --target=${triple} -ffreestanding -w -c ${stub_source} -o ${work}/${target}_stubs.obj
    COMMAND ${FIELDKIT_LLD_LINK} /nologo /dll /noentry /nodefaultlib /machine:${machine}
            /def:${msvc_def_file} ${work}/${target}_stubs.obj /out:${work}/${dll} /implib:${import_library}
    DEPENDS ${stub_source} ${msvc_def_file}
    COMMENT "MSVC import library ${target}.lib"
    VERBATIM)
  add_custom_target(${target}_msvc_import_library ALL DEPENDS ${import_library})
  set_target_properties(${target} PROPERTIES FIELDKIT_MSVC_IMPORT_LIBRARY ${import_library})
endfunction()

# fieldkit_export_tests(TARGET HEADER_DIR HEADER)
# Registers the Windows checks of what fieldkit_export_table made: the MSVC
# import library (its import symbols, and that each names an export of the DLL), and
# the header as an MSVC-mode compiler reads it (C and C++, /W4 without a
# warning; the import symbols it refers to are those of the list, which on 32
# bits shows every function stdcall with its argument bytes).
function(fieldkit_export_tests target header_dir header)
  if(NOT WIN32)
    return()
  endif()
  set(scripts ${PROJECT_SOURCE_DIR}/scripts)
  string(TOLOWER ${target} prefix)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(triple x86_64-pc-windows-msvc)
  else()
    set(triple i686-pc-windows-msvc)
  endif()
  get_target_property(import_library ${target} FIELDKIT_MSVC_IMPORT_LIBRARY)
  if(import_library AND FIELDKIT_LLVM_READOBJ)
    add_test(NAME ${prefix}_msvc_import_library
             COMMAND bash ${scripts}/check-import-library.sh ${FIELDKIT_LLVM_READOBJ} ${CMAKE_OBJDUMP}
                     ${import_library} $<TARGET_FILE:${target}> ${${target}_import_symbols})
  endif()
  if(FIELDKIT_CLANG AND FIELDKIT_LLVM_NM)
    add_test(NAME ${prefix}_header_msvc
             COMMAND bash ${scripts}/check-msvc-header.sh ${FIELDKIT_CLANG} ${FIELDKIT_LLVM_NM} ${triple}
                     ${header_dir} ${header} ${${target}_functions} -- ${${target}_import_symbols})
  endif()
endfunction()
