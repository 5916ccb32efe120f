#[[
Installing Tallowick like a desktop program, and its Debian package.

`cmake --install` puts, under the prefix: bin/tallowick; libexec/tallowick/
with dfrotz (frotz/CMakeLists.txt), glulxe (glulxe/) and Gargoyle's other
interpreters (gargoyle/), their licences in share/doc/tallowick;
share/tallowick/ with the sample story
(stories/CMakeLists.txt) and the catalogue games.json, from here. On
desktops also the launcher, the story files' types, the icon, the AppStream
metainfo and the man page, all from data/.

games.json is installed as it is, with the list of its sources
(games-sources.md) beside it. Its games are downloaded into the player's
save folder, never into share/; its sample entry, Lantern Hall, is played
from share/tallowick/Lantern Hall.z5, beside the catalogue, as "Open a game."
finds it there too.

`cpack -G DEB` in the build folder (or the `package` target) makes
tallowick_<version>_<arch>.deb. Debian's triggers of shared-mime-info,
desktop-file-utils and the icon theme refresh their caches, so the package
needs no scripts of its own.
]]
set(TALLOWICK_APP_ID io.github.tallowick.Tallowick)
set(data_dir ${PROJECT_SOURCE_DIR}/data)

install(FILES ${PROJECT_SOURCE_DIR}/stories/games.json ${PROJECT_SOURCE_DIR}/stories/games-sources.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/tallowick)
# What is compiled into the program and glulxe from elsewhere: nlohmann-json
# (MIT) and the Unicode character database's tables (the Unicode licence),
# their notices as Debian gives them.
foreach(notice nlohmann-json3-dev unicode-data)
  if(EXISTS /usr/share/doc/${notice}/copyright)
    install(FILES /usr/share/doc/${notice}/copyright
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tallowick RENAME ${notice}-copyright)
  endif()
endforeach()
# Frotz is GPL-2.0-or-later: its licence goes with the dfrotz we ship.
install(FILES ${CMAKE_BINARY_DIR}/frotz/frotz-2.55/COPYING
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tallowick RENAME frotz-COPYING)

# dfrotz is no target of ours, so --strip (and CPack) would leave it whole.
if(CMAKE_STRIP)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\"
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/tallowick/dfrotz${CMAKE_EXECUTABLE_SUFFIX}\")
  endif()")
endif()

if(NOT WIN32)
  install(FILES ${data_dir}/${TALLOWICK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${data_dir}/${TALLOWICK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${data_dir}/tallowick-mime.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME tallowick.xml)
  install(FILES ${data_dir}/tallowick.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # The man page, gzipped as Debian keeps them (-n: the same bytes each build).
  find_program(GZIP gzip)
  if(GZIP)
    set(man_gz ${CMAKE_BINARY_DIR}/data/tallowick.6.gz)
    add_custom_command(OUTPUT ${man_gz}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/data
      COMMAND ${GZIP} -9nc ${data_dir}/tallowick.6 > ${man_gz}
      DEPENDS ${data_dir}/tallowick.6)
    add_custom_target(man_page ALL DEPENDS ${man_gz})
    install(FILES ${man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  else()
    install(FILES ${data_dir}/tallowick.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  endif()
endif()

# The Debian package (a zip of the install tree on Windows, until it has its own).
set(CPACK_PACKAGE_NAME tallowick)
set(CPACK_PACKAGE_VENDOR "The Tallowick developers")
set(CPACK_PACKAGE_CONTACT "The Tallowick developers <maintainers@tallowick.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "play interactive fiction by ear, Z-code and Glulx")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tallowick lets blind and low-vision players play interactive fiction
by ear: Z-machine stories (.z1 to .z8, .zblorb) and Glulx stories, Inform
7's format (.ulx, .gblorb), and Blorb files of either kind. It runs its own
builds of Frotz's dfrotz, of Git and Glulxe, and of the other interpreters
that Gargoyle ships (TADS, Hugo, SCARE, Alan 2 and 3, AGiliTy, AdvSys,
JACL, Level 9, Magnetic, ScottFree, Plus and TaylorMade), speaks what the
story says in short pieces through speech-dispatcher, the service the Orca
screen reader uses, and shows it in a read-only view. A short sample story
and a catalogue of free games to download are included.")
# The libraries, from what the binaries link (needs dpkg-shlibdeps, of dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libspeechd only talks to the service: without speech-dispatcher the program
# is silent, which its players cannot notice or mend by sight. So Depends,
# not Recommends, that an install without recommends still speaks.
# libcurl is loaded at run time, when the first download starts, and
# SDL2_mixer when a game first plays a sound, so dpkg-shlibdeps cannot see
# them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "speech-dispatcher, libcurl4, libsdl2-mixer-2.0-0")
include(CPack)
