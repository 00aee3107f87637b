#!/usr/bin/env bash
# Installs the Debian packages Kelvra needs to build, test and run. Idempotent: packages already
# present are skipped, so a second run costs one dpkg query. Works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev clang-format
  qt6-base-dev qt6-base-dev-tools
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg
  portaudio19-dev libjack-jackd2-dev jackd2 libtag1-dev libaubio-dev libebur128-dev
  libflac-dev libsqlite3-dev sqlite3 librubberband-dev librtmidi-dev
  liblilv-dev lv2-dev lv2-examples swh-lv2
  libgtest-dev libgmock-dev libbenchmark-dev libsamplerate0-dev libsoxr-dev
  xvfb xauth fonts-dejavu-core xdotool pulseaudio pulseaudio-utils libasound2-plugins
  librsvg2-bin desktop-file-utils appstream xdg-utils dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo for: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
