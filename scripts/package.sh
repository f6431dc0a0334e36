#!/usr/bin/env bash
# Builds the Debian package (<build>/sonrake_<version>_<arch>.deb) from a
# Release build of the two programs and checks it: its control data and
# contents, the library dependencies found for it, the desktop entry and the
# metainfo as installed, and lintian where it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# With a build folder given (a Release build, such as the test suite's), the
# package is made from it; else from a Release build of its own in build-pkg.
build=${1:-build-pkg}
if [ $# -eq 0 ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DSONRAKE_BUILD_TESTS=OFF -DSONRAKE_BUILD_BENCH=OFF >/dev/null
fi
[ "$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")" = Release ] ||
  { echo "package.sh: $build is not a Release build" >&2; exit 1; }
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/sonrake_*.deb
(cd "$build" && cpack -G DEB >/dev/null)

debs=("$build"/sonrake_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "no single sonrake_*.deb in $build" >&2; exit 1; }
deb=${debs[0]}
echo "== $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

fail() { echo "package check failed: $*" >&2; exit 1; }
[ "$(dpkg-deb --field "$deb" Package)" = sonrake ] || fail "package name"
case "$(basename "$deb")" in
  sonrake_"$(dpkg-deb --field "$deb" Version)"_"$(dpkg-deb --field "$deb" Architecture)".deb) ;;
  *) fail "file name $(basename "$deb")" ;;
esac
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libportaudio2 libqt6widgets6 libsndfile1 libc6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for f in ./usr/bin/sonrake ./usr/bin/sonrake-cli \
         ./usr/share/applications/org.sonrake.Sonrake.desktop \
         ./usr/share/icons/hicolor/scalable/apps/org.sonrake.Sonrake.svg \
         ./usr/share/metainfo/org.sonrake.Sonrake.metainfo.xml \
         ./usr/share/sonrake/how-to-measure.html \
         ./usr/share/doc/sonrake/copyright; do
  grep -qxF "$f" <<<"$contents" || fail "missing $f"
done

# The installed files as the desktop and the software centres read them.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb --extract "$deb" "$tree"
desktop-file-validate "$tree/usr/share/applications/org.sonrake.Sonrake.desktop"
appstreamcli validate --no-net "$tree/usr/share/metainfo/org.sonrake.Sonrake.metainfo.xml"
"$tree/usr/bin/sonrake-cli" devices >/dev/null || fail "sonrake-cli devices"

if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "$deb" || true
else
  echo "(lintian is not installed: skipped)"
fi
echo "== $deb built and checked"
