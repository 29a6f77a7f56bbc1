#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the run need. Idempotent and
# non-interactive: it only calls apt-get when a package is missing, and only generates the
# zh_CN.UTF-8 locale when it is not there yet. It never removes a package: every install is
# simulated first, and a plan that removes anything is refused with the list of what it would
# remove.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  cmake ninja-build googletest
  # the native test tier: the host compiler
  g++
  wine wine64 xvfb xauth xdotool imagemagick fonts-wqy-zenhei fonts-wine locales
  # audio: the stb_vorbis header, Wine's Media Foundation back end, the test sound server and
  # the tools that make the test sounds
  libstb-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
  pulseaudio pulseaudio-utils sox lame vorbis-tools flac ffmpeg
  # remote control: Beast/Asio and the JSON library (header-only, the MinGW build sees only
  # these two folders), and the Linux-side clients its tests and benchmark drive it with
  libboost-dev nlohmann-json3-dev curl wrk iproute2 python3-websocket python3-selenium chromium chromium-driver
)
# The 32-bit half of Wine, which runs the i686 release build in the same (WoW64) prefix, with
# the audio and Media Foundation libraries its 32-bit processes load.
packages_i386=(
  wine32:i386 libpulse0:i386 gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
  gstreamer1.0-plugins-ugly:i386 gstreamer1.0-libav:i386
)

source "$(dirname "$0")/runs-32bit.sh"

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

missing_of() {  # prints the packages of "$@" that are not installed
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      printf '%s\n' "$p"
    fi
  done
}

updated=0
apt_update() {
  if [ "$updated" = 0 ]; then
    # A failed index (a mirror caught mid-sync) is not fatal: the plan below shows what it means.
    $SUDO apt-get update -qq || echo "install-deps: apt-get update reported errors; going on with the indexes it has" >&2
    updated=1
  fi
}

# install_safely ARGS...: simulates "apt-get install ARGS", refuses a plan that removes a
# package, and otherwise carries it out.
install_safely() {
  local plan
  if ! plan=$(apt-get install -s -y --no-install-recommends "$@" 2>&1); then
    printf '%s\n' "$plan" >&2
    echo "install-deps: apt-get cannot resolve: $*" >&2
    return 1
  fi
  if grep -q '^Remv ' <<<"$plan"; then
    echo "install-deps: refusing to install $*: the plan would remove" >&2
    grep '^Remv ' <<<"$plan" >&2
    return 1
  fi
  $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

mapfile -t missing < <(missing_of "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  apt_update
  install_safely "${missing[@]}"
fi

# pin_for_i386 NAME: prints "NAME:amd64=VERSION" when the installed amd64 build of NAME differs
# from the i386 build the indexes offer (Multi-Arch: same pairs must match).
pin_for_i386() {
  local v installed
  v=$(apt-cache policy "$1:i386" 2>/dev/null | sed -n 's/^ *Candidate: //p')
  installed=$(dpkg-query -W -f='${Version}' "$1:amd64" 2>/dev/null || true)
  if [ -n "$v" ] && [ "$v" != "(none)" ] && [ -n "$installed" ] && [ "$installed" != "$v" ]; then
    printf '%s:amd64=%s\n' "$1" "$v"
  fi
}

# culprits ARGS...: the names in the simulated plan of ARGS that block it: amd64 packages it
# would remove, and i386 packages it cannot install (followed down their own dependencies, since
# apt names only the first level).
declare -A looked_at=()
culprits() {
  local plan name
  plan=$(apt-get install -s -y --no-install-recommends --allow-downgrades -t bookworm "$@" 2>&1 || true)
  sed -n 's/^Remv \([^ :]*\)\(:amd64\)\? .*/\1/p' <<<"$plan"
  for name in $(grep -o 'Depends: [^ ]*:i386' <<<"$plan" | sed 's/^Depends: //; s/:i386$//' | sort -u); do
    printf '%s\n' "$name"
    if [ -z "${looked_at[$name]:-}" ] && [ -z "$(pin_for_i386 "$name")" ]; then
      looked_at[$name]=1
      culprits "$name:i386"
    fi
  done
}

# install_wine32 PACKAGES...: on a plain Debian 12 the i386 packages resolve as they are. Where
# the amd64 half of a Multi-Arch: same library is newer than any i386 build the indexes offer
# (security updates reached for amd64 only), apt's own answer is to remove wine64 and the sound
# server; instead each amd64 partner in the way is pinned to the i386 build's version, and the
# plan simulated again.
install_wine32() {
  local plan p pin added args=("$@")
  if plan=$(apt-get install -s -y --no-install-recommends "$@" 2>&1) && ! grep -q '^Remv ' <<<"$plan"; then
    install_safely "$@"
    return
  fi
  for _ in 1 2 3 4 5 6 7 8; do
    added=0
    looked_at=()
    for p in $(culprits "${args[@]}" | sort -u); do
      pin=$(pin_for_i386 "$p")
      if [ -n "$pin" ] && ! printf '%s\n' "${args[@]}" | grep -qxF "$pin"; then
        args+=("$pin")
        added=1
      fi
    done
    [ "$added" = 1 ] || break
  done
  # What the pins leave unresolved is refused here, with the list of what it would remove.
  install_safely --allow-downgrades -t bookworm "${args[@]}"
}

mapfile -t missing < <(missing_of "${packages_i386[@]}")
if [ ${#missing[@]} -gt 0 ] && ! runs_32bit; then
  echo "install-deps: this machine runs no 32-bit programs; 32-bit Wine is not installed"
elif [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=0
  fi
  apt_update
  install_wine32 "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  echo "install-deps: generating zh_CN.UTF-8"
  $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

# ChromeDriver and its Python client reach each other (and the browser) through the name
# "localhost"; a bare system without /etc/hosts cannot resolve it. Only a missing name is added.
if ! getent hosts localhost >/dev/null 2>&1; then
  echo "install-deps: adding localhost to /etc/hosts"
  printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' | $SUDO tee -a /etc/hosts >/dev/null
fi
