#!/usr/bin/env bash
# Builds the 64-bit (runs here) and 32-bit (release) targets: scripts/build.sh [x86_64|i686]...
set -euo pipefail
source "$(dirname "$0")/lib.sh"
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(x86_64 i686)
for arch in "${archs[@]}"; do
  log "building $arch"
  configure_and_build "$arch"
done
