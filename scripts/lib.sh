# Shared by the build, run, test and bench scripts. Source it; do not run it.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_ROOT="${VELMORA_BUILD_ROOT:-$ROOT/build}"
source "$ROOT/scripts/runs-32bit.sh"
# The build the run, test and bench steps work on: the 64-bit release build unless select_arch
# says otherwise (the 32-bit build is tested where the machine runs 32-bit programs).
RUN_ARCH=x86_64
RUN_BUILD="$BUILD_ROOT/$RUN_ARCH"
select_arch() { RUN_ARCH=$1; RUN_BUILD="$BUILD_ROOT/$1"; }

log() { printf '== %s\n' "$*" >&2; }

# install_missing PACKAGE...: installs from Debian those of the packages that are not installed.
install_missing() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  local sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  log "installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# configure_and_build ARCH [TARGET...]: ARCH is x86_64 or i686.
configure_and_build() {
  local arch=$1; shift
  local dir="$BUILD_ROOT/$arch"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" >/dev/null
  fi
  if [ $# -gt 0 ]; then
    cmake --build "$dir" --target "$@"
  else
    cmake --build "$dir"
  fi
}

XVFB_PID=""
# Uses $DISPLAY when it answers; otherwise starts a private Xvfb and points DISPLAY at it.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    return 0
  fi
  local n=99
  # A server of another checkout (or of a system sharing this network namespace, where the
  # abstract X socket is seen though its lock file is not) may hold a number already.
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] ||
        DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  log "Xvfb did not start on $DISPLAY"
  return 1
}

# The private Wine prefix of the selected build (a 64-bit prefix, which runs the i686 exe through
# WoW64), code page 936, created on first use and warmed so that every later Wine process starts
# in milliseconds.
wine_env() {
  if ! runs_32bit; then
    # Debian's `wine` starts the 32-bit loader whenever 32-bit Wine is installed, and every
    # Wine program fails then. Only the 64-bit loader is used: `wine` and `wine-stable` (which
    # wineboot and friends call) lead to it, and so does every program Wine starts itself.
    local shim="$BUILD_ROOT/wine64-only"
    if [ ! -x "$shim/wine-stable" ]; then
      mkdir -p "$shim"
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$shim/wine"
      cp "$shim/wine" "$shim/wine-stable"
      chmod +x "$shim/wine" "$shim/wine-stable"
    fi
    case ":$PATH:" in *":$shim:"*) ;; *) export PATH="$shim:$PATH" ;; esac
    export WINELOADER=/usr/lib/wine/wine64
  fi
  export WINEPREFIX="$RUN_BUILD/wineprefix"
  export WINEARCH=win64
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=zh_CN.UTF-8
  { export LC_ALL=zh_CN.UTF-8; } 2>/dev/null  # bash warns when its own locale lags behind
}

wine_start() {
  wine_env
  # A prefix made while only wine64 was installed has no 32-bit system and fails every i686
  # program with "could not load kernel32.dll": it is made anew.
  if runs_32bit && [ -f "$WINEPREFIX/system.reg" ] &&
     [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    log "recreating the Wine prefix (it predates 32-bit Wine)"
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix (once)"
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w
  fi
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # With no window manager on a private display, Wine waits a second for one on every window
  # it thinks is managed when it is hidden or destroyed; the tests and the skin benchmark open
  # and close windows many times, so their windows are unmanaged there. The program itself stays
  # managed, as on a real desktop (its tray menu needs it: unmanaged, a menu opened after other
  # copies had come and gone sometimes never showed). A real display keeps its window manager's
  # ways.
  if [ -n "${XVFB_PID:-}" ]; then
    for exe in skin_tests.exe skin_bench.exe ui_tests.exe app_tests.exe remote_tests.exe hotkey_tests.exe; do
      wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\X11 Driver" /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    done
  fi
}

source "$ROOT/scripts/audio-server.sh"

# begin_arch_session ARCH: the selected build's sound server (with its recorders) and warm Wine
# prefix; end_arch_session stops both, so the other build can have its own next.
begin_arch_session() {
  select_arch "$1"
  start_audio_server "$RUN_BUILD/audio"
  wine_start
}
end_arch_session() {
  wineserver -k >/dev/null 2>&1 || true
  stop_audio_server
  AUDIO_PIDS=()
}

cleanup_session() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" >/dev/null 2>&1 || true; fi
}
