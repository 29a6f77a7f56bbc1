#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the run need. Idempotent and
# non-interactive: it only calls apt-get when a package is missing, and only generates the
# zh_CN.UTF-8 locale when it is not there yet.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  cmake ninja-build googletest
  wine wine64 xvfb xauth xdotool imagemagick fonts-wqy-zenhei fonts-wine locales
  # audio: the stb_vorbis header, Wine's Media Foundation back end, the test sound server and
  # the tools that make the test sounds
  libstb-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
  pulseaudio pulseaudio-utils sox lame vorbis-tools flac ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  echo "install-deps: generating zh_CN.UTF-8"
  $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
