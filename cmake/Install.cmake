# What `cmake --install` puts under the prefix beside the programs and the
# EQ plugin: completion scripts and kestrune's manual page made at build time
# by the built kestrune from its own command tree, the other manual pages,
# the user unit of kestruned and the example profiles; and the Debian
# package made of it all. Every destination is relative, so DESTDIR and
# --prefix apply and nothing is written outside the prefix.

# zsh finds scripts under site-functions of its prefix; Debian's zsh looks
# for those that packages put under /usr in vendor-completions instead.
if(NOT DEFINED KESTRUNE_ZSH_COMPLETIONS_DIR)
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr" AND EXISTS /etc/debian_version)
    set(KESTRUNE_ZSH_COMPLETIONS_DIR ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
  else()
    set(KESTRUNE_ZSH_COMPLETIONS_DIR ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)
  endif()
endif()
set(KESTRUNE_BASH_COMPLETIONS_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
set(KESTRUNE_FISH_COMPLETIONS_DIR ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
set(KESTRUNE_SYSTEMD_USER_DIR lib/systemd/user)

# The manual page names the installed scripts.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/app/Manual.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  KESTRUNE_VERSION="${PROJECT_VERSION}"
  KESTRUNE_BASH_COMPLETIONS_DIR="${CMAKE_INSTALL_PREFIX}/${KESTRUNE_BASH_COMPLETIONS_DIR}"
  KESTRUNE_ZSH_COMPLETIONS_DIR="${CMAKE_INSTALL_PREFIX}/${KESTRUNE_ZSH_COMPLETIONS_DIR}"
  KESTRUNE_FISH_COMPLETIONS_DIR="${CMAKE_INSTALL_PREFIX}/${KESTRUNE_FISH_COMPLETIONS_DIR}")

set(generated ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${generated})
function(kestrune_generate output)
  cmake_parse_arguments(PARSE_ARGV 1 generate "DROP_HASHBANG" "" "")
  add_custom_command(OUTPUT ${generated}/${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${generated}/${output}
            -DDROP_HASHBANG=${generate_DROP_HASHBANG}
            -P ${CMAKE_SOURCE_DIR}/cmake/RunToFile.cmake -- $<TARGET_FILE:kestrune>
            ${generate_UNPARSED_ARGUMENTS}
    DEPENDS kestrune ${CMAKE_SOURCE_DIR}/cmake/RunToFile.cmake
    COMMENT "Generating ${output}" VERBATIM)
endfunction()
# bash-completion sources the script; a "#!" line would only suggest running it.
kestrune_generate(kestrune.bash DROP_HASHBANG --generate-completion-script bash)
kestrune_generate(_kestrune --generate-completion-script zsh)
kestrune_generate(kestrune.fish --generate-completion-script fish)
kestrune_generate(kestrune.1 --generate-manual)
string(TIMESTAMP KESTRUNE_DATE "%Y-%m-%d" UTC)  # SOURCE_DATE_EPOCH when set
configure_file(${CMAKE_SOURCE_DIR}/man/kestruned.1.in ${generated}/kestruned.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/man/kestrune-sim.1.in ${generated}/kestrune-sim.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/man/kestrune-watch.1.in ${generated}/kestrune-watch.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/dist/kestruned.service.in ${generated}/kestruned.service @ONLY)
# Manual pages are installed compressed, as Debian's policy asks; -n keeps
# the file the same from build to build.
set(KESTRUNE_MAN_PAGES kestrune kestruned kestrune-sim kestrune-watch)
if(TARGET kestrune-panel)
  configure_file(${CMAKE_SOURCE_DIR}/man/kestrune-panel.1.in ${generated}/kestrune-panel.1 @ONLY)
  list(APPEND KESTRUNE_MAN_PAGES kestrune-panel)
endif()
set(compressed_pages)
foreach(page ${KESTRUNE_MAN_PAGES})
  add_custom_command(OUTPUT ${generated}/${page}.1.gz
    COMMAND gzip -n9 -c ${generated}/${page}.1 > ${generated}/${page}.1.gz
    DEPENDS ${generated}/${page}.1 COMMENT "Compressing ${page}.1")
  list(APPEND compressed_pages ${generated}/${page}.1.gz)
endforeach()

# The command-line tool is installed as the helper of a bundle-shaped
# directory whose Info.plist holds the version, which --version reads by
# following bin/kestrune, a symbolic link to it.
set(KESTRUNE_BUNDLE_DIR lib/kestrune/Contents)
configure_file(${CMAKE_SOURCE_DIR}/dist/Info.plist.in ${generated}/Info.plist @ONLY)
file(MAKE_DIRECTORY ${generated}/bin)
file(CREATE_LINK ../${KESTRUNE_BUNDLE_DIR}/Helpers/kestrune ${generated}/bin/kestrune SYMBOLIC)
install(TARGETS kestrune RUNTIME DESTINATION ${KESTRUNE_BUNDLE_DIR}/Helpers)
install(FILES ${generated}/Info.plist DESTINATION ${KESTRUNE_BUNDLE_DIR})
install(FILES ${generated}/bin/kestrune DESTINATION bin)

# The package's changelog, in Debian's format and compressed like the pages.
set(KESTRUNE_MAINTAINER "kestrune developers <kestrune@example.org>")
string(TIMESTAMP KESTRUNE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/dist/changelog.in ${generated}/changelog @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.gz
  COMMAND gzip -n9 -c ${generated}/changelog > ${generated}/changelog.gz
  DEPENDS ${generated}/changelog COMMENT "Compressing the changelog")

add_custom_target(kestrune_install_files ALL DEPENDS
  ${generated}/kestrune.bash ${generated}/_kestrune ${generated}/kestrune.fish
  ${compressed_pages} ${generated}/changelog.gz)

install(FILES ${generated}/kestrune.bash DESTINATION ${KESTRUNE_BASH_COMPLETIONS_DIR}
        RENAME kestrune)
install(FILES ${generated}/_kestrune DESTINATION ${KESTRUNE_ZSH_COMPLETIONS_DIR})
install(FILES ${generated}/kestrune.fish DESTINATION ${KESTRUNE_FISH_COMPLETIONS_DIR})
install(FILES ${compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(TARGETS kestrune-watch RUNTIME DESTINATION bin)
install(FILES ${generated}/kestruned.service DESTINATION ${KESTRUNE_SYSTEMD_USER_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/dist/profiles.json ${CMAKE_SOURCE_DIR}/docs/protocol.md
        ${CMAKE_SOURCE_DIR}/data/copyright ${generated}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# kestrune-panel: begin
# The panel's menu entry, its login autostart (/etc/xdg under /usr, else
# beside the other data), its icon and its man page.
if(TARGET kestrune-panel)
  # Its man page is compressed and installed with the others.
  install(FILES ${CMAKE_SOURCE_DIR}/data/kestrune-panel.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(KESTRUNE_AUTOSTART_DIR /etc/xdg/autostart)
  else()
    set(KESTRUNE_AUTOSTART_DIR ${CMAKE_INSTALL_SYSCONFDIR}/xdg/autostart)
  endif()
  install(FILES ${CMAKE_SOURCE_DIR}/data/kestrune-panel-autostart.desktop
          DESTINATION ${KESTRUNE_AUTOSTART_DIR} RENAME kestrune-panel.desktop)
  install(FILES ${CMAKE_SOURCE_DIR}/data/kestrune.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
# kestrune-panel: end

# cpack -G DEB: kestrune_<version>_<arch>.deb, installing what the build was
# configured for (paths such as the plugin's are built into kestruned).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Per-app volume, EQ and device control from the command line")
set(CPACK_PACKAGE_DESCRIPTION "kestrune reads and changes system and per-app volume, mute, EQ and output
device, profiles, media playback and Bluetooth devices through kestruned, a
user daemon over PulseAudio or PipeWire. kestrune-sim is a simulated
application for trying the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTRUNE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its Wayland platform plugin at run time, out of dpkg-shlibdeps'
# sight: the panel runs natively in a Wayland session only with it.
if(TARGET kestrune-panel)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio, bash-completion")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Without dpkg-shlibdeps the package would have no Depends at all, and
# without file CPack cannot tell which files to strip and scan: cpack
# refuses instead of making such a package.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/PackageTools.cmake)
# What lintian is told to accept, each with its reason in the file.
install(FILES ${CMAKE_SOURCE_DIR}/dist/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kestrune)
# The autostart entry under /etc is a configuration file the user may edit:
# dpkg keeps the edited one on upgrade.
if(TARGET kestrune-panel AND KESTRUNE_AUTOSTART_DIR MATCHES "^/")
  file(WRITE ${generated}/conffiles "${KESTRUNE_AUTOSTART_DIR}/kestrune-panel.desktop\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${generated}/conffiles)
endif()
include(CPack)
