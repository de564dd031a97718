# Where the Linux saver goes when installed, and the Debian package made from
# that with `cpack -G DEB`. Tests, benchmarks and tools are not installed.

set(MOONGLOW_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# xscreensaver runs its savers from libexec/xscreensaver and lists only what it
# finds there; a relative link keeps one program for both places and survives
# a staged (DESTDIR) install.
set(hackdir ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
file(RELATIVE_PATH hack_target ${CMAKE_INSTALL_FULL_LIBEXECDIR}/xscreensaver
     ${CMAKE_INSTALL_FULL_BINDIR}/moonglow)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
file(CREATE_LINK ${hack_target} ${CMAKE_BINARY_DIR}/packaging/moonglow SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/packaging/moonglow DESTINATION ${hackdir})

install(FILES ${MOONGLOW_PACKAGING_DIR}/moonglow.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)

# Debian wants its manual pages and changelogs compressed, without a time
# stamp inside.
set(manpage_gz ${CMAKE_BINARY_DIR}/packaging/moonglow.6.gz)
add_custom_command(
  OUTPUT ${manpage_gz}
  COMMAND gzip -9 -n -c ${MOONGLOW_PACKAGING_DIR}/moonglow.6 > ${manpage_gz}
  DEPENDS ${MOONGLOW_PACKAGING_DIR}/moonglow.6
  VERBATIM)
add_custom_target(moonglow-manpage ALL DEPENDS ${manpage_gz})
install(FILES ${manpage_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)

# packaging/changelog, in Debian's format, is the one changelog: its newest
# entry must be the version being built, so a release never ships last
# version's notes.
file(STRINGS ${MOONGLOW_PACKAGING_DIR}/changelog changelog_top LIMIT_COUNT 1)
string(REGEX MATCH "^moonglow \\(([^)]*)\\) " changelog_entry "${changelog_top}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: the newest entry is for version \"${CMAKE_MATCH_1}\", "
                      "not ${PROJECT_VERSION}: add an entry for this version on top")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${MOONGLOW_PACKAGING_DIR}/changelog)
set(changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND gzip -9 -n -c ${MOONGLOW_PACKAGING_DIR}/changelog > ${changelog_gz}
  DEPENDS ${MOONGLOW_PACKAGING_DIR}/changelog
  VERBATIM)
add_custom_target(moonglow-changelog ALL DEPENDS ${changelog_gz})

install(FILES ${MOONGLOW_PACKAGING_DIR}/moonglow.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# MATE's screen-saver settings list the entries of this folder.
install(FILES ${MOONGLOW_PACKAGING_DIR}/moonglow-screensaver.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications/screensavers
        RENAME moonglow.desktop)
install(FILES ${PROJECT_SOURCE_DIR}/resources/moonglow.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
# GNUInstallDirs would name the folder after the project, capital M and all.
install(FILES ${MOONGLOW_PACKAGING_DIR}/copyright ${changelog_gz}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/moonglow)

# A stripped install (cpack's, with CPACK_STRIP_FILES) also drops the sections
# Debian's own packages leave out: the compiler's .comment and the .note
# section, which nothing reads at run time.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/moonglow\"
                            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${MOONGLOW_MODULE_DIR}/moonglow-qt.so\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME moonglow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Moonglow developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "night sky of Japanese fireworks, as a screen saver")
set(CPACK_PACKAGE_DESCRIPTION
    "Rockets rise from the bottom edge of a black screen, burst, and their stars\n\
fall, slow down in the air, leave crumbling trails and vanish. Five shell\n\
kinds are launched in themes chosen at random. The saver runs under\n\
xscreensaver (run `moonglow --add-to-xscreensaver` once) or xsecurelock,\n\
on Wayland compositors with the layer shell (sway, Hyprland, KDE Plasma)\n\
under swayidle, and has a settings dialog of its own.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Moonglow maintainers <maintainers@moonglow.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# swayidle starts the saver on Wayland, as xscreensaver does on X11.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | xsecurelock, swayidle")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
