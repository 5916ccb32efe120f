# CMake toolchain file: cross-build for 64-bit Windows on Debian with
# mingw-w64 (the "-posix" thread model, which has std::thread).
#
#   prefix=$(scripts/windows-deps | tail -n1)
#   cmake -S . -B build-win -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#     -DTALLOWICK_WIN_PREFIX="$prefix"
#
# TALLOWICK_WIN_PREFIX is the folder made by scripts/windows-deps (static
# wxMSW, libcurl, GoogleTest and nlohmann-json). It may also come from the
# environment variable of the same name; it is kept in the cache.
#
# Test programs run under Wine (CMAKE_CROSSCOMPILING_EMULATOR), so ctest and
# gtest_discover_tests work. Set TALLOWICK_WINEPREFIX (CMake or environment
# variable) to pin the Wine prefix the tests use; make it first with
# `scripts/windows-deps wine-prefix <dir>`.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TALLOWICK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TALLOWICK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALLOWICK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TALLOWICK_MINGW_TRIPLE}-windres)

# The dependency prefix: -D wins, then the environment.
if(NOT TALLOWICK_WIN_PREFIX AND DEFINED ENV{TALLOWICK_WIN_PREFIX})
  set(TALLOWICK_WIN_PREFIX "$ENV{TALLOWICK_WIN_PREFIX}")
endif()
if(TALLOWICK_WIN_PREFIX)
  set(TALLOWICK_WIN_PREFIX "${TALLOWICK_WIN_PREFIX}" CACHE PATH
      "Prefix with the Windows dependencies (scripts/windows-deps)")
endif()
# try_compile() projects read this file again: hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TALLOWICK_WIN_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${TALLOWICK_MINGW_TRIPLE})
if(TALLOWICK_WIN_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH "${TALLOWICK_WIN_PREFIX}")
  list(APPEND CMAKE_PREFIX_PATH "${TALLOWICK_WIN_PREFIX}")
endif()
# Programs (wx-config, wine, python ...) are host programs; libraries,
# headers and CMake packages come only from the Windows roots above, never
# from the host's /usr.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# FindwxWidgets runs wx-config when cross-compiling; point it at ours.
if(TALLOWICK_WIN_PREFIX AND EXISTS "${TALLOWICK_WIN_PREFIX}/bin/wx-config"
   AND NOT wxWidgets_CONFIG_EXECUTABLE)
  set(wxWidgets_CONFIG_EXECUTABLE "${TALLOWICK_WIN_PREFIX}/bin/wx-config"
      CACHE FILEPATH "wx-config of the Windows wxWidgets build")
endif()

# pkg-config must not hand out the host's .pc files.
if(TALLOWICK_WIN_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR}
      "${TALLOWICK_WIN_PREFIX}/lib/pkgconfig:${TALLOWICK_WIN_PREFIX}/share/pkgconfig:/usr/${TALLOWICK_MINGW_TRIPLE}/lib/pkgconfig")
else()
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/${TALLOWICK_MINGW_TRIPLE}/lib/pkgconfig")
endif()
set(ENV{PKG_CONFIG_PATH} "")

# Link libgcc, libstdc++ and winpthread statically, so the .exe files need
# no mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Run test programs under Wine. WINEDEBUG=-all also silences the Debian
# launcher's "wine32 is missing" hint (64-bit programs need no wine32).
if(NOT TALLOWICK_WINE)
  find_program(TALLOWICK_WINE NAMES wine wine64 wine-stable
               NO_CMAKE_FIND_ROOT_PATH)
endif()
if(NOT TALLOWICK_WINEPREFIX AND DEFINED ENV{TALLOWICK_WINEPREFIX})
  set(TALLOWICK_WINEPREFIX "$ENV{TALLOWICK_WINEPREFIX}")
endif()
if(TALLOWICK_WINEPREFIX)
  set(TALLOWICK_WINEPREFIX "${TALLOWICK_WINEPREFIX}" CACHE PATH
      "Wine prefix for running the test programs")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TALLOWICK_WINE TALLOWICK_WINEPREFIX)
if(TALLOWICK_WINE)
  set(_tallowick_emulator /usr/bin/env WINEDEBUG=-all)
  if(TALLOWICK_WINEPREFIX)
    list(APPEND _tallowick_emulator "WINEPREFIX=${TALLOWICK_WINEPREFIX}")
  endif()
  list(APPEND _tallowick_emulator "${TALLOWICK_WINE}")
  # A plain variable, so a changed TALLOWICK_WINEPREFIX takes effect on the
  # next configure; a -DCMAKE_CROSSCOMPILING_EMULATOR=... given by hand wins.
  if(NOT DEFINED CACHE{CMAKE_CROSSCOMPILING_EMULATOR})
    set(CMAKE_CROSSCOMPILING_EMULATOR "${_tallowick_emulator}")
  endif()
  unset(_tallowick_emulator)
endif()
