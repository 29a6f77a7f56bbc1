#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program under Wine. On a display it runs
# until you close it; with no display it starts a private Xvfb, waits for the board, saves a
# screenshot into the build folder and says where.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$ROOT/scripts/install-deps.sh"
configure_and_build x86_64 velmora >/dev/null
exe="$RUN_BUILD/app/velmora.exe"

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdotool getdisplaygeometry >/dev/null 2>&1; then headless=1; fi

trap cleanup_session EXIT
ensure_display
wine_start

if [ "$headless" = 0 ]; then
  log "starting $exe on $DISPLAY"
  wine "$exe"
  exit 0
fi

log "no display: starting $exe on a private Xvfb ($DISPLAY)"
wine "$exe" </dev/null >/dev/null 2>&1 &
window=""
for _ in $(seq 1 200); do
  window=$(xdotool search --onlyvisible --name 'Velmora' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  log "the board did not appear within 20 s"
  exit 1
fi
sleep 1  # let the first paint finish
shot="$BUILD_ROOT/screenshot.png"
import -window root "$shot"
log "the board is up; screenshot saved to $shot"
