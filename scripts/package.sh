#!/usr/bin/env bash
# Builds the Debian package (Release, programs only) in build-deb, installs it
# with apt, checks what it installed and removes it again. Needs root.
#   scripts/package.sh [--keep]   (--keep leaves the package installed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${DEB_BUILD_DIR:-build-deb}
jobs=${JOBS:-2}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DKESTRUNE_WERROR=ON >/dev/null
cmake --build "$build" -j"$jobs"
rm -f "$build"/kestrune_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/kestrune_*.deb)
echo "== $package"
dpkg-deb --field "$package" Package Version Architecture Depends

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "./$package" >/dev/null
installed=$(dpkg -L kestrune | while read -r path; do [ -f "$path" ] && echo "$path"; done)
echo "$installed"

kestrune --help >/dev/null
man -w kestrune
man -w kestruned
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

if [ "${1:-}" = --keep ]; then
  exit 0
fi
apt-get remove -y -qq kestrune >/dev/null
left=0
for path in $installed; do
  if [ -e "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done
[ "$left" -eq 0 ]
echo "== installed, tried and removed"
