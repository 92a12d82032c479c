#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and benchmarks with, and the locale
# en_US.UTF-8 that a test sorts names in. Idempotent: apt-get runs only when a package is
# missing, localedef only when the locale is.
set -euo pipefail

packages=(
  # toolchain and test framework
  cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev
  # kit: file input and output
  libsndfile1-dev libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libopus-dev libflac-dev libmpg123-dev libmp3lame0 ffmpeg
  # kit: signal processing, plug-ins, time-pitch, JSON
  libfftw3-dev libsoxr-dev librubberband-dev liblilv-dev lv2-dev nlohmann-json3-dev
  # test references and peers: real plug-ins, loudness reference, sox, the time-stretch tool
  mda-lv2 libebur128-dev sox rubberband-cli
  # editor: Qt 6 Widgets and SVG, audio devices, fonts for drawing text
  qt6-base-dev qt6-svg-dev libgl-dev portaudio19-dev fonts-dejavu-core
  # editor: plug-ins' own editors (LV2 X11 UIs)
  libsuil-dev
  # editor tests: a real X server and a driver for the end-to-end test
  xvfb xauth xdotool
  # installation: the desktop entry's checker
  desktop-file-utils
  # the locale data of the plug-in list's sorting test (en_US.UTF-8, made below)
  locales
  # the block store's full-disk tests on a small ext4 image (where mounting is permitted)
  e2fsprogs mount
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A locale whose collation is not byte order, so that the sorting of names beyond ASCII is tested.
if ! locale -a 2>/dev/null | grep -qix 'en_US\.utf-\?8'; then
  echo "Making the locale en_US.UTF-8"
  $sudo localedef -i en_US -f UTF-8 en_US.UTF-8
fi
