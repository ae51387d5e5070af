#!/usr/bin/env bash
# Tries the README's set-up as a new user on a bare Debian 12 would: makes a
# minimal root with debootstrap, adds only git and ca-certificates, clones
# this repository into it and runs the given steps there, each timed. The
# root is unmounted and removed afterwards. Needs root, debootstrap and the
# network to Debian's packages; not part of CI. Run it after changing
# scripts/packages.sh.
#   scripts/fresh_machine_check.sh [demo] [test] [ci]   (default: demo test)
# KESTRUNE_BARE_DIR   where the root is made (default /var/tmp/kestrune-bare)
# KESTRUNE_BARE_BASE  an existing bare root to copy instead of debootstrapping
# KESTRUNE_MIRROR     the Debian mirror (default: debootstrap's own)
# KESTRUNE_SOURCE     the repository to clone (default: this one, at HEAD)
# KESTRUNE_KEEP=1     leaves the root in place
set -euo pipefail
cd "$(dirname "$0")/.."
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(demo test)
for step in "${steps[@]}"; do
  case "$step" in
    demo | test | ci) ;;
    *)
      echo "unknown step '$step' (demo, test, ci)" >&2
      exit 64
      ;;
  esac
done
if [ "$(id -u)" -ne 0 ]; then
  echo "needs root (debootstrap, chroot and mounts)" >&2
  exit 1
fi
source_repo=${KESTRUNE_SOURCE:-$PWD}
root=${KESTRUNE_BARE_DIR:-/var/tmp/kestrune-bare}
if [ -e "$root" ]; then
  echo "$root exists; remove it or set KESTRUNE_BARE_DIR" >&2
  exit 1
fi

mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[$i]}" 2>/dev/null || umount -l "${mounted[$i]}" 2>/dev/null || true
  done
  if [ "${KESTRUNE_KEEP:-}" != 1 ]; then
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT INT TERM

timed() {
  local label=$1 start end
  shift
  start=$(date +%s)
  echo "== $label"
  "$@"
  end=$(date +%s)
  echo "== $label: $((end - start)) s"
  times+=("$label: $((end - start)) s")
}
times=()

if [ -n "${KESTRUNE_BARE_BASE:-}" ]; then
  timed "copy of the bare root" cp -a "$KESTRUNE_BARE_BASE" "$root"
else
  command -v debootstrap >/dev/null || {
    echo "needs debootstrap: apt-get install debootstrap" >&2
    exit 1
  }
  # shellcheck disable=SC2086  # the mirror is one word or none
  timed "debootstrap" debootstrap --variant=minbase bookworm "$root" ${KESTRUNE_MIRROR:-}
fi

for fs in proc dev dev/pts; do
  mkdir -p "$root/$fs"
done
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --bind /dev "$root/dev" && mounted+=("$root/dev")
mount -t devpts devpts "$root/dev/pts" && mounted+=("$root/dev/pts")
mkdir -p "$root/sys"
mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys" && mounted+=("$root/sys")
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

inside() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@" </dev/null
}
timed "git and ca-certificates" inside sh -c \
  'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq git ca-certificates >/dev/null'
git clone -q --no-local "$source_repo" "$root/root/kestrune"

for step in "${steps[@]}"; do
  case "$step" in
    demo) timed "scripts/demo.sh" inside sh -c 'cd /root/kestrune && scripts/demo.sh' ;;
    test) timed "scripts/test.sh" inside sh -c 'cd /root/kestrune && scripts/test.sh' ;;
    ci) timed "CI=true bash .ci/run" inside sh -c 'cd /root/kestrune && CI=true bash .ci/run' ;;
  esac
done
echo "== times"
printf '  %s\n' "${times[@]}"
