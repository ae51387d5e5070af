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
  add_custom_command(OUTPUT ${generated}/${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${generated}/${output}
            -P ${CMAKE_SOURCE_DIR}/cmake/RunToFile.cmake -- $<TARGET_FILE:kestrune> ${ARGN}
    DEPENDS kestrune ${CMAKE_SOURCE_DIR}/cmake/RunToFile.cmake
    COMMENT "Generating ${output}" VERBATIM)
endfunction()
kestrune_generate(kestrune.bash --generate-completion-script bash)
kestrune_generate(_kestrune --generate-completion-script zsh)
kestrune_generate(kestrune.fish --generate-completion-script fish)
kestrune_generate(kestrune.1 --generate-manual)
string(TIMESTAMP KESTRUNE_DATE "%Y-%m-%d" UTC)  # SOURCE_DATE_EPOCH when set
configure_file(${CMAKE_SOURCE_DIR}/man/kestruned.1.in ${generated}/kestruned.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/man/kestrune-sim.1.in ${generated}/kestrune-sim.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/man/kestrune-watch.1.in ${generated}/kestrune-watch.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/dist/kestruned.service.in ${generated}/kestruned.service @ONLY)
add_custom_target(kestrune_install_files ALL DEPENDS
  ${generated}/kestrune.bash ${generated}/_kestrune ${generated}/kestrune.fish
  ${generated}/kestrune.1)

install(FILES ${generated}/kestrune.bash DESTINATION ${KESTRUNE_BASH_COMPLETIONS_DIR}
        RENAME kestrune)
install(FILES ${generated}/_kestrune DESTINATION ${KESTRUNE_ZSH_COMPLETIONS_DIR})
install(FILES ${generated}/kestrune.fish DESTINATION ${KESTRUNE_FISH_COMPLETIONS_DIR})
install(FILES ${generated}/kestrune.1 ${generated}/kestruned.1 ${generated}/kestrune-sim.1
        ${generated}/kestrune-watch.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(TARGETS kestrune-watch RUNTIME DESTINATION bin)
install(FILES ${generated}/kestruned.service DESTINATION ${KESTRUNE_SYSTEMD_USER_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/dist/profiles.json ${CMAKE_SOURCE_DIR}/docs/protocol.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# kestrune-panel: begin
# The panel's menu entry, its login autostart (/etc/xdg under /usr, else
# beside the other data), its icon and its man page.
if(TARGET kestrune-panel)
  configure_file(${CMAKE_SOURCE_DIR}/man/kestrune-panel.1.in ${generated}/kestrune-panel.1 @ONLY)
  install(FILES ${generated}/kestrune-panel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
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
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "kestrune developers <kestrune@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio, bash-completion")
set(CPACK_STRIP_FILES ON)
include(CPack)
