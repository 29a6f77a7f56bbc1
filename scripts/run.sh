#!/usr/bin/env bash
# Installs what is missing, builds, prepares a program folder (build/program: the exe and a
# starter pack of effect sounds made with sox) and starts the program under Wine. Its first
# start rebuilds the board from the sounds and waits in the notification area; the script then
# opens the board as a user would (the tray icon's menu, 显示界面). On a display the program
# keeps running; with no display the script uses a private Xvfb and sound server, saves
# screenshots of the tray menu, the board, the editor and the settings window into the build
# folder and says where.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$ROOT/scripts/install-deps.sh"
configure_and_build "$RUN_ARCH" velmora >/dev/null

program="$BUILD_ROOT/program"
mkdir -p "$program"
cp "$RUN_BUILD/app/velmora.exe" "$program/"
[ -d "$program/音效" ] || bash "$ROOT/scripts/make-starter-pack.sh" "$program"

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdotool getdisplaygeometry >/dev/null 2>&1; then headless=1; fi
trap 'cleanup_session; [ "$headless" = 1 ] && stop_audio_server' EXIT
ensure_display
[ "$headless" = 1 ] && start_audio_server "$BUILD_ROOT/run-audio"
wine_start

log "starting $program/velmora.exe"
(cd "$program" && exec wine velmora.exe </dev/null >/dev/null 2>&1) &
program_pid=$!

wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local tries=$(( $1 * 10 )); shift
  for _ in $(seq 1 "$tries"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
board_exists() { xdotool search --name 'Velmora音效软件' >/dev/null 2>&1; }
board_visible() { xdotool search --onlyvisible --name 'Velmora音效软件' >/dev/null 2>&1; }

tray_exists() { xdotool search --name 'Wine System Tray' >/dev/null 2>&1; }
if ! wait_for 60 board_exists; then log "the program did not start"; exit 1; fi
# A first start rebuilds the configuration, adds its icon and settles hidden in the tray.
wait_for 30 tray_exists || true
sleep 1
tray=$(xdotool search --name 'Wine System Tray' 2>/dev/null | head -n 1 || true)
if [ -n "$tray" ]; then
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  xdotool mousemove $((X + 8)) $((Y + 10)) click 1
  sleep 1
  import -window root "$BUILD_ROOT/tray.png"
  xdotool key Down Return  # 显示界面
  wait_for 10 board_visible || true
else
  log "no Wine tray window here: use the notification-area icon's menu, 显示界面"
fi

if [ "$headless" = 0 ]; then
  log "the program runs; close it with its close button or the tray menu's 退出"
  wait "$program_pid" || true
  exit 0
fi
if ! board_visible; then log "the board did not appear"; exit 1; fi
sleep 1
import -window root "$BUILD_ROOT/screenshot.png"
# The effect editor, opened as a user opens it: the right button on an effect button.
board=$(xdotool search --onlyvisible --name 'Velmora音效软件' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$board")"
xdotool mousemove $((X + 200)) $((Y + 100)) click 3
editor_visible() { xdotool search --onlyvisible --name '音效设置' >/dev/null 2>&1; }
if wait_for 10 editor_visible; then
  sleep 1
  import -window root "$BUILD_ROOT/editor.png"
  log "the effect editor: $BUILD_ROOT/editor.png"
else
  log "the effect editor did not open"
fi
# The settings window, from the board's 音效输出通道设置 button.
xdotool key Escape
settings_visible() { xdotool search --onlyvisible --name '软件设置' >/dev/null 2>&1; }
eval "$(xdotool getwindowgeometry --shell "$board")"
xdotool mousemove $((X + 85)) $((Y + 462)) click 1
if wait_for 10 settings_visible; then
  sleep 1
  import -window root "$BUILD_ROOT/settings.png"
  log "the settings window: $BUILD_ROOT/settings.png"
else
  log "the settings window did not open"
fi
log "tray menu: $BUILD_ROOT/tray.png"
log "the board: $BUILD_ROOT/screenshot.png"
