#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs the tests under Wine (code page 936,
# private prefix, private Xvfb when there is no display): first the 64-bit build's fast subset
# (VELMORA_X64_TESTS=all runs all of them), then every test of the 32-bit release build, so the
# last lines are the release build's ctest summary. On a machine that runs no 32-bit programs the
# release build is only built, and the 64-bit build runs every test. Arguments go to both ctest runs.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh" x86_64 i686

trap 'cleanup_session; stop_audio_server' EXIT
ensure_display
# Both builds read the same test sounds, made once.
bash "$ROOT/scripts/make-test-sounds.sh" "$BUILD_ROOT/test-sounds"

# The 64-bit build shares every line of code with the release build; what can differ is pointer
# size and struct layout, which the configuration, decoder, engine, hotkey and skin tests cover
# (the skin's GDI leak checks can only count objects in a 64-bit process under Wine).
x64_subset=(-L '^(config_tests|playback_tests|hotkey_tests|skin_tests)$')
[ "${VELMORA_X64_TESTS:-fast}" = all ] && x64_subset=()
# A machine without 32-bit support builds the release build but cannot run it: every test then
# runs on the 64-bit build.
runs_32bit || x64_subset=()

run_suite() {  # run_suite ARCH CTEST-ARGS...
  local arch=$1; shift
  begin_arch_session "$arch"
  [ -L "$RUN_BUILD/test-sounds" ] || rm -rf "$RUN_BUILD/test-sounds"
  ln -sfn "$BUILD_ROOT/test-sounds" "$RUN_BUILD/test-sounds"
  log "running the $arch tests"
  local rc=0
  # A test gets a second run only when its first failed: Wine's audio and Media Foundation back
  # ends very rarely stall on a busy machine (seen once in dozens of runs); a real fault fails
  # both times.
  (cd "$RUN_BUILD" && ctest --timeout 600 --output-on-failure --repeat until-pass:2 "$@") || rc=$?
  end_arch_session
  return $rc
}

if runs_32bit; then
  run_suite x86_64 "${x64_subset[@]}" "$@"
  run_suite i686 "$@"
else
  log "this machine runs no 32-bit programs: the i686 build is built, not run; every test runs on x86_64"
  run_suite x86_64 "$@"
fi
