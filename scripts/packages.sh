# shellcheck shell=bash
# The Debian packages kestrune is built, tested and checked with: the one
# list, sourced by scripts/demo.sh, scripts/test.sh, scripts/package.sh and
# .ci/run.
#   . scripts/packages.sh; install_packages build daemon
#
# Each line: group, package, and what shows that the package is there —
#   cmd:NAME   a program on PATH        file:PATH  a file
#   py:MODULE  a module of Debian's python3    pkg:NAME   an installed package
# Groups: build (the command-line tool and the simulator), daemon (kestruned
# and the EQ plugin), tests (the test suite and the sound servers, players
# and D-Bus peers it runs), panel (kestrune-panel), desktop (the panel's
# private desktop for its tests), lint (scripts/check.sh), package (what
# makes the Debian package), package-check (the package's trial).
KESTRUNE_PACKAGES='
build   g++                 cmd:g++
build   cmake               cmd:cmake
build   ninja-build         cmd:ninja
daemon  pkg-config          cmd:pkg-config
daemon  libpulse-dev        file:/usr/include/pulse/pulseaudio.h
daemon  libsystemd-dev      file:/usr/include/systemd/sd-bus.h
daemon  ladspa-sdk          file:/usr/include/ladspa.h
tests   libgtest-dev        file:/usr/include/gtest/gtest.h
tests   libgmock-dev        file:/usr/include/gmock/gmock.h
tests   libbenchmark-dev    file:/usr/include/benchmark/benchmark.h
tests   pulseaudio          cmd:pulseaudio
tests   pulseaudio-utils    cmd:pactl
tests   pipewire            cmd:pipewire
tests   pipewire-pulse      cmd:pipewire-pulse
tests   wireplumber         cmd:wireplumber
tests   dbus-daemon         cmd:dbus-daemon
tests   systemd             cmd:busctl
tests   mpv                 cmd:mpv
tests   mpv-mpris           pkg:mpv-mpris
tests   playerctl           cmd:playerctl
tests   python3-dbus        py:dbus
tests   python3-gi          py:gi
tests   python3-dbusmock    py:dbusmock
tests   zsh                 cmd:zsh
tests   fish                cmd:fish
tests   bash-completion     file:/usr/share/bash-completion/bash_completion
tests   man-db              cmd:man
tests   groff-base          cmd:groff
tests   file                cmd:file
tests   sox                 cmd:sox
panel   qt6-base-dev        file:/usr/lib/x86_64-linux-gnu/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake
desktop xvfb                cmd:Xvfb
desktop openbox             cmd:openbox
desktop x11-utils           cmd:xprop
desktop xdotool             cmd:xdotool
desktop trayer              cmd:trayer
desktop at-spi2-core        cmd:/usr/libexec/at-spi-bus-launcher
desktop python3-pyatspi     py:pyatspi
desktop qt6-wayland         file:/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so
desktop sway                cmd:sway
desktop waybar              cmd:waybar
desktop grim                cmd:grim
desktop weston              cmd:weston
desktop libwayland-bin      cmd:wayland-scanner
desktop libwayland-dev      file:/usr/include/wayland-client.h
lint    clang-format-14     cmd:clang-format-14
lint    clang-tidy-14       cmd:run-clang-tidy-14
lint    cppcheck            cmd:cppcheck
package dpkg-dev            cmd:dpkg-shlibdeps
package file                cmd:file
package-check lintian       cmd:lintian
'

# True when the package's mark (cmd:, file:, py: or pkg:) is there.
package_present() {
  local mark=$1
  case "$mark" in
    cmd:/*) [ -x "${mark#cmd:}" ] ;;
    cmd:*) command -v "${mark#cmd:}" >/dev/null 2>&1 ;;
    file:*) [ -e "${mark#file:}" ] ;;
    py:*) [ -x /usr/bin/python3 ] && /usr/bin/python3 -c "import ${mark#py:}" >/dev/null 2>&1 ;;
    pkg:*) [ "$(dpkg-query -W -f='${db:Status-Status}' "${mark#pkg:}" 2>/dev/null)" = installed ] ;;
    *) return 1 ;;
  esac
}

# The packages of the given groups, one a line, in list order.
packages_of() {
  local group package mark wanted
  while read -r group package mark; do
    [ -n "$group" ] || continue
    for wanted in "$@"; do
      if [ "$group" = "$wanted" ]; then
        echo "$package $mark"
      fi
    done
  done <<<"$KESTRUNE_PACKAGES"
}

# The packages of the given groups that are not there, each named once.
missing_packages() {
  local package mark seen=" "
  while read -r package mark; do
    case "$seen" in *" $package "*) continue ;; esac
    seen+="$package "
    package_present "$mark" || echo "$package"
  done < <(packages_of "$@")
}

# Runs a command as root: directly when root, else through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  else
    sudo "$@"
  fi
}

# Installs what the given groups lack, showing apt's progress: as root
# directly, otherwise through sudo; without either, says what to run and
# fails. Nothing already there is installed again. KESTRUNE_NO_INSTALL=1
# only reports.
install_packages() {
  local missing
  mapfile -t missing < <(missing_packages "$@")
  [ ${#missing[@]} -gt 0 ] || return 0
  local line="apt-get install ${missing[*]}"
  local run=()
  if [ "$(id -u)" -eq 0 ]; then
    run=()
  elif command -v sudo >/dev/null 2>&1; then
    run=(sudo)
  else
    run=(none)
  fi
  if [ "${KESTRUNE_NO_INSTALL:-}" = 1 ] || [ "${run[*]}" = none ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "Missing packages ($*). As root, run:" >&2
    echo "  $line" >&2
    return 1
  fi
  echo "== installing (${*}): ${missing[*]}"
  # Asked at a terminal, as apt asks; answered yes in scripts and CI.
  local yes=()
  [ -t 0 ] || yes=(-y)
  export DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-noninteractive}
  "${run[@]}" apt-get update || return 1
  "${run[@]}" env DEBIAN_FRONTEND="$DEBIAN_FRONTEND" apt-get install "${yes[@]}" "${missing[@]}"
}
