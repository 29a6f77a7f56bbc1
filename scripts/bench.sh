#!/usr/bin/env bash
# Builds and runs every benchmark under Wine on both builds; each figure is printed as
# "key: value unit", the 64-bit release build's under their own keys and the 32-bit build's with
# an "i686." prefix (where the machine runs 32-bit programs).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$ROOT/scripts/install-deps.sh"
benches=(rebuild_bench config_bench playback_bench monitor_bench mic_bench longfile_bench loudness_bench board_bench hotkey_bench skin_bench remote_bench soak_bench velmora)
trap 'cleanup_session; stop_audio_server' EXIT
ensure_display
archs=(x86_64 i686)
if ! runs_32bit; then
  log "this machine runs no 32-bit programs: the i686 figures cannot be measured here"
  archs=(x86_64)
fi
for arch in "${archs[@]}"; do
  configure_and_build "$arch" "${benches[@]}" >/dev/null
  begin_arch_session "$arch"
  prefix=""
  [ "$arch" = i686 ] && prefix="i686."
  for bench in "$RUN_BUILD"/bench/*_bench.exe; do
    # The soak runs on the release build only: ten minutes (VELMORA_SOAK_MINUTES) are enough once.
    [ "$arch" = i686 ] && [ "$(basename "$bench")" = soak_bench.exe ] && continue
    wine "$bench" </dev/null | sed -u "s/^\([A-Za-z0-9_.]*\): /$prefix\1: /"
  done
  end_arch_session
done
