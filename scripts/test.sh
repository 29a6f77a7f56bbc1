#!/usr/bin/env bash
# Installs what is missing, builds, and runs the three tiers of tests:
#   1. the pure logic, built natively with the host compiler (scripts/native-tests.sh), and the
#      engine's shared state under ThreadSanitizer (scripts/race.sh);
#   2. each subsystem's in-process tests under Wine (code page 936, a private prefix, a private
#      Xvfb when there is no display, a private sound server with the test sinks);
#   3. the tests that start the built program.
# The 64-bit build is the release build and runs tiers 2 and 3; the 32-bit build is built too
# (warnings as errors) and runs them as well where the machine runs 32-bit programs. No test gets
# a second run: one that fails has found a fault. Arguments go to every ctest run. The figures of
# the run (each tier's time, the Wine processes started) come last, then the count of tests.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
started=$SECONDS
mkdir -p "$BUILD_ROOT"
touch "$BUILD_ROOT/.test-run"  # the logs this run writes are newer than this
bash "$ROOT/scripts/install-deps.sh"

figures=()
status=0
seconds_of() { local t0=$1; echo $((SECONDS - t0)); }

# Tier 1 first: it answers in seconds, before anything is cross-compiled.
t0=$SECONDS
bash "$ROOT/scripts/native-tests.sh" "$@" || status=1
figures+=("tests.native_seconds: $(seconds_of "$t0") s (build and run)")
# The engine's shared state under ThreadSanitizer, with the allocation count on device threads.
t0=$SECONDS
RACE_SECONDS=${RACE_SECONDS:-8} bash "$ROOT/scripts/race.sh" || status=1
figures+=("tests.race_seconds: $(seconds_of "$t0") s (build and run)")

archs=(x86_64 i686)
bash "$ROOT/scripts/build.sh" "${archs[@]}"
runs_32bit || log "this machine runs no 32-bit programs: the i686 build is built, not run"
runs_32bit || archs=(x86_64)

trap 'cleanup_session; stop_audio_server' EXIT
ensure_display
# Both builds read the same test sounds, made once.
bash "$ROOT/scripts/make-test-sounds.sh" "$BUILD_ROOT/test-sounds"

starts="$BUILD_ROOT/wine-starts.log"
export VELMORA_WINE_START_LOG="$starts"

run_tier() {  # run_tier ARCH LABEL CTEST-ARGS...: one tier of one build
  local arch=$1 label=$2; shift 2
  local t0=$SECONDS rc=0 prefix=""
  [ "$arch" = i686 ] && prefix="i686."
  log "running the $arch $label tests"
  (cd "$RUN_BUILD" && ctest --timeout 900 --output-on-failure -L "^$label\$" "$@") || rc=$?
  cp "$RUN_BUILD/Testing/Temporary/LastTest.log" "$RUN_BUILD/Testing/Temporary/LastTest-$label.log" 2>/dev/null || true
  figures+=("${prefix}tests.wine_${label}_seconds: $(seconds_of "$t0") s")
  return $rc
}

for arch in "${archs[@]}"; do
  begin_arch_session "$arch"
  [ -L "$RUN_BUILD/test-sounds" ] || rm -rf "$RUN_BUILD/test-sounds"
  ln -sfn "$BUILD_ROOT/test-sounds" "$RUN_BUILD/test-sounds"
  : > "$starts"
  t0=$SECONDS
  run_tier "$arch" inprocess "$@" || status=1
  run_tier "$arch" program "$@" || status=1
  prefix=""
  [ "$arch" = i686 ] && prefix="i686."
  figures+=("${prefix}tests.wine_seconds: $(seconds_of "$t0") s (in-process and whole-program)")
  figures+=("${prefix}tests.wine_starts: $(wc -l < "$starts") processes (test executables and program copies)")
  end_arch_session
done
unset VELMORA_WINE_START_LOG

# Every gtest executable reports its own count; they are added up here over all tiers and builds.
passed=0 failed=0
for logfile in "$BUILD_ROOT"/native/Testing/Temporary/LastTest.log \
               "$BUILD_ROOT"/{x86_64,i686}/Testing/Temporary/LastTest-{inprocess,program}.log; do
  [ -f "$logfile" ] && [ "$logfile" -nt "$BUILD_ROOT/.test-run" ] || continue
  passed=$((passed + $(awk '/^\[  PASSED  \] [0-9]+ tests?\.$/ {n += $4} END {print n + 0}' "$logfile")))
  failed=$((failed + $(awk '/^\[  FAILED  \] [0-9]+ tests?, listed below:$/ {n += $4} END {print n + 0}' "$logfile")))
done
figures+=("tests.command_seconds: $((SECONDS - started)) s (installs, builds and every tier)")
printf '%s\n' "${figures[@]}"
[ "$failed" -eq 0 ] || status=1
# An executable that died before its summary still failed.
[ "$status" -eq 0 ] || [ "$failed" -gt 0 ] || failed=1
echo "tests: $passed passed, $failed failed"
exit "$status"
