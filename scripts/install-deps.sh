#!/usr/bin/env bash
# Installs the Debian packages Sonrake needs to build, test, package and run,
# skipping those already present. Needs root (or sudo) only when something is
# missing. Extra groups by name:
#   clang   the clang toolchain with libFuzzer and the sanitizers' runtime
#           (scripts/sanitize.sh, scripts/fuzz.sh)
#   format  clang-format (scripts/check-format.sh)
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libbenchmark-dev libfftw3-dev nlohmann-json3-dev libsndfile1-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6test6 qt6-qpa-plugins libgl-dev
  portaudio19-dev libasound2-dev libjack-jackd2-dev jackd2
  # the tests on a private PipeWire server (its ALSA device and its libjack)
  pipewire wireplumber pipewire-alsa pipewire-jack
  xvfb xauth x11-utils x11-apps imagemagick fonts-dejavu-core
  # the package: building the .deb and checking its desktop entry and metainfo
  dpkg-dev file desktop-file-utils appstream
)

for group in "$@"; do
  case "$group" in
    clang) packages+=(clang libclang-rt-14-dev llvm) ;;
    format) packages+=(clang-format git) ;;
    *) echo "install-deps.sh: unknown group '$group' (clang, format)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
