#!/usr/bin/env bash
# Builds and runs the native test tier (tests/unit/): the pure logic - decoders, the engine's
# mixer and microphone ring, loudness, the configuration's tables and text, the remote control's
# rules and JSON, the board's layout - compiled for Linux with GCC and run in a couple of
# seconds, no Wine involved. Arguments go to ctest.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

# Tools: GCC, CMake and Ninja, GoogleTest's sources and the two header libraries; sox, lame,
# oggenc, flac, ffmpeg and python3 for the test sounds. GCC, as the Windows build uses: Debian's
# clang 14 lacks C++20 pieces the code relies on (lambdas capturing structured bindings), and its
# -Wconversion also takes in -Wsign-conversion, which the code is not written to.
packages=(g++ cmake ninja-build googletest libstb-dev nlohmann-json3-dev sox lame vorbis-tools flac ffmpeg python3)
install_missing "${packages[@]}"

dir="$BUILD_ROOT/native"
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$ROOT/tests/unit" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
    -DVELMORA_TEST_SOUNDS="$BUILD_ROOT/test-sounds" >/dev/null
fi
log "building the native tests"
cmake --build "$dir"
# The long-file tests decode these; made once, shared with the Wine builds.
bash "$ROOT/scripts/make-test-sounds.sh" "$BUILD_ROOT/test-sounds"

log "running the native tests"
cd "$dir"
ctest --output-on-failure --timeout 120 "$@"
