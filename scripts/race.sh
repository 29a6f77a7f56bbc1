#!/usr/bin/env bash
# Runs the engine's thread-touching logic that needs no Windows (the voice table, the stream
# feeds and the microphone's ring, playback/engine/Mixer.cpp, StreamFeed.cpp and LiveInput.cpp) natively under ThreadSanitizer, driven by
# tests/race/engine_race.cpp from a UI-like thread, two render-like ones (the output device and the
# monitor) and a timing reader, plus each feed's decoding thread; any allocation on a render or
# capture thread fails it too. RACE_SECONDS bounds the run (default 20). Fails on any reported
# race or allocation; the test command runs it for a few seconds.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
# Tools: clang with its ThreadSanitizer runtime.
install_missing clang libclang-rt-14-dev
out="$BUILD_ROOT/race"
mkdir -p "$out"
log "building engine_race with -fsanitize=thread"
engine="$ROOT/playback/engine"
clang++ -std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=thread -I"$ROOT" -o "$out/engine_race" \
  "$ROOT/tests/race/engine_race.cpp" "$engine/Mixer.cpp" "$engine/StreamFeed.cpp" "$engine/StreamConverter.cpp" \
  "$engine/Pcm.cpp" "$engine/LiveInput.cpp"
log "running for ${RACE_SECONDS:-20}s"
TSAN_OPTIONS="halt_on_error=1 exitcode=66 ${TSAN_OPTIONS:-}" "$out/engine_race"
