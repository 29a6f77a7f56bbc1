#!/usr/bin/env bash
# Builds the 64-bit (release) and 32-bit targets: scripts/build.sh [x86_64|i686]...
set -euo pipefail
source "$(dirname "$0")/lib.sh"
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(x86_64 i686)
for arch in "${archs[@]}"; do
  log "building $arch"
  configure_and_build "$arch"
done
