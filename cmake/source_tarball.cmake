#[[
source_tarball(<var> <package> <version> <file> [OPTIONAL])

Sets the cache variable <var> to <file>, the .orig tarball of Debian's source
package <package> <version>, which scripts/fetch-source fetches once, checks
against apt's SHA-256 and caches outside the tree. A <var> already set (-D)
is kept. Without OPTIONAL a failed fetch stops the configuration; with it
<var> stays empty.
]]
function(source_tarball var package version file)
  cmake_parse_arguments(PARSE_ARGV 4 arg "OPTIONAL" "" "")
  set(${var} "" CACHE FILEPATH "${file} (fetched by scripts/fetch-source when empty)")
  if(${var})
    return()
  endif()
  set(fetch ${PROJECT_SOURCE_DIR}/scripts/fetch-source ${package} ${version} ${file})
  execute_process(COMMAND ${fetch}
    OUTPUT_VARIABLE fetched OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(NOT failed AND EXISTS "${fetched}")
    set(${var} "${fetched}" CACHE FILEPATH "" FORCE)
  elseif(NOT arg_OPTIONAL)
    string(JOIN " " command ${fetch})
    message(FATAL_ERROR "${package}'s source could not be fetched: run ${command}")
  endif()
endfunction()

#[[
patch_series(<commands_var> <files_var> <dir>)

Sets <commands_var> to the commands (for add_custom_command) that apply the
patch files of the current source folder's patches/, in the order
patches/series gives, to the source unpacked in <dir>; and <files_var> to
those files, on which the unpacking depends. A patch added to the series is
applied at the next build.
]]
function(patch_series commands_var files_var dir)
  find_program(PATCH patch REQUIRED)
  file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/patches/series names)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS patches/series)
  set(commands)
  set(files)
  foreach(name ${names})
    set(file ${CMAKE_CURRENT_SOURCE_DIR}/patches/${name})
    list(APPEND commands COMMAND ${PATCH} -s -p1 -d ${dir} -i ${file})
    list(APPEND files ${file})
  endforeach()
  set(${commands_var} ${commands} PARENT_SCOPE)
  set(${files_var} ${files} PARENT_SCOPE)
endfunction()
