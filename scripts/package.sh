#!/usr/bin/env bash
# Builds the Debian package (Release, programs only) in build-deb, checks it
# with lintian, installs it with apt, checks what it installed and removes it
# again. Installs the build tools and libraries it lacks first. Needs root,
# or sudo.
#   scripts/package.sh [--keep]
# --keep is the way to install: the package stays installed, and only what
# builds it is installed first (no lintian, no test tools).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
keep=false
[ "${1:-}" = --keep ] && keep=true
if $keep; then
  install_packages build daemon panel package
else
  install_packages build daemon panel package package-check
fi
build=${DEB_BUILD_DIR:-build-deb}
jobs=${JOBS:-2}

# Shows a step's output only when it fails.
quietly() {
  local log
  log=$(mktemp "${TMPDIR:-/tmp}/kestrune-package.XXXXXX")
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

quietly cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DKESTRUNE_WERROR=ON -DKESTRUNE_DAEMON=ON -DKESTRUNE_PANEL=ON
cmake --build "$build" -j"$jobs"
rm -f "$build"/kestrune_*.deb
(cd "$build" && quietly cpack -G DEB)
package=$(ls "$build"/kestrune_*.deb)
echo "== $package"
dpkg-deb --field "$package" Package Version Architecture Depends

# Errors fail the package; the warnings that remain are explained in the
# README's section on the Debian package.
if ! $keep; then
  echo "== lintian"
  lintian --fail-on error --info "$package"
fi

export DEBIAN_FRONTEND=noninteractive
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(readlink -f "$package")" >/dev/null
installed=$(dpkg -L kestrune | while read -r path; do [ -f "$path" ] && echo "$path"; done)
echo "$installed"

kestrune --help >/dev/null
# The version comes from the Info.plist beside the installed program.
[ "$(kestrune --version)" = "$(dpkg-deb --field "$package" Version)" ] || {
  echo "kestrune --version printed '$(kestrune --version)'" >&2
  exit 1
}
if command -v man >/dev/null; then
  man -w kestrune
  man -w kestruned
fi
unit=/usr/lib/systemd/user/kestruned.service
if command -v systemd-analyze >/dev/null; then
  # Checked as a unit file (the user manager may not run here), its
  # Documentation= page included: the package has just installed it.
  systemd-analyze verify "$unit"
fi
for shell_script in /usr/share/bash-completion/completions/kestrune \
  /usr/share/zsh/vendor-completions/_kestrune /usr/share/fish/vendor_completions.d/kestrune.fish; do
  [ -f "$shell_script" ] || { echo "missing $shell_script" >&2; exit 1; }
done

if $keep; then
  exit 0
fi
# Purged: a plain remove keeps the conffile (the panel's autostart entry).
as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq kestrune >/dev/null
left=0
for path in $installed; do
  if [ -e "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done
[ "$left" -eq 0 ]
echo "== installed, tried and removed"
