#!/usr/bin/env bash
# Installs the Debian package on a fresh Debian 12 and tries it there: a
# minimal bookworm made with debootstrap in a folder (build-fresh/root, kept
# between runs unless FRESH=1; FRESH_ROOT=DIR names another), the package installed with apt-get from the
# file, then `sonrake-cli devices` and the desktop entry validated inside it.
# Needs root and the network to a Debian mirror; not part of CI's default run.
#   bash scripts/fresh-install-check.sh [path/to/sonrake_*.deb]
set -euo pipefail
cd "$(dirname "$0")/.."
deb=${1:-$(ls build-pkg/sonrake_*.deb 2>/dev/null | head -1)}
[ -f "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y --no-install-recommends debootstrap >/dev/null

root=${FRESH_ROOT:-$PWD/build-fresh/root}
if [ "${FRESH:-0}" = 1 ] || [ ! -x "$root/usr/bin/apt-get" ]; then
  rm -rf "$root"
  mkdir -p "$root"
  debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >/dev/null
fi
# A clean copy for each run, so that the package meets nothing a run before left.
run=$PWD/build-fresh/run
umount "$run/proc" 2>/dev/null || true
rm -rf "$run"
mkdir -p "$(dirname "$run")"
cp -a "$root" "$run"
mount -t proc proc "$run/proc"
trap 'umount "$run/proc" 2>/dev/null || true' EXIT
cp "$deb" "$run/tmp/"
name=$(basename "$deb")
echo "== apt-get install ./$name on a fresh Debian 12"
chroot "$run" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  sh -c "apt-get update -qq && apt-get install -y -qq /tmp/$name >/tmp/install.log 2>&1 || { tail -20 /tmp/install.log; exit 1; }"
echo "== installed: $(chroot "$run" dpkg-query -W -f '${Package} ${Version}' sonrake)"
echo "== sonrake-cli devices"
chroot "$run" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/tmp sonrake-cli devices
echo "== the window starts (offscreen, stopped after 3 s)"
rc=0
chroot "$run" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/tmp QT_QPA_PLATFORM=offscreen timeout 3 sonrake || rc=$?
[ "$rc" = 124 ] || { echo "sonrake ended by itself with $rc" >&2; exit 1; }
echo "ran until stopped"
echo "== desktop entry"
chroot "$run" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/bin DEBIAN_FRONTEND=noninteractive \
  sh -c "apt-get install -y -qq desktop-file-utils >/dev/null 2>&1 && desktop-file-validate /usr/share/applications/org.sonrake.Sonrake.desktop && echo valid"
echo "== fresh install checked"
