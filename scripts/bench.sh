#!/usr/bin/env bash
# Builds and runs every benchmark under Wine; each figure is printed as "key: value unit".
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$ROOT/scripts/install-deps.sh"
configure_and_build x86_64 rebuild_bench playback_bench board_bench hotkey_bench skin_bench velmora >/dev/null
source "$ROOT/scripts/audio-server.sh"
trap 'cleanup_session; stop_audio_server' EXIT
ensure_display
start_audio_server "$RUN_BUILD/audio"
wine_start
for bench in "$RUN_BUILD"/bench/*_bench.exe; do
  wine "$bench" </dev/null
done
