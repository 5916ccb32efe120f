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
