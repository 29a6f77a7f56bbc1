#!/usr/bin/env bash
# Fuzzes natively on Linux with libFuzzer, AddressSanitizer and UBSan: the WAV and Ogg Vorbis
# decoders (whole-file and streaming, the length each file declares, plus the conversion to the
# engine format), and the remote control's door (every request body and WebSocket message parsed,
# carried out against a stand-in for the board and answered; the Host, Origin and code rules):
#   scripts/fuzz.sh [wav|vorbis|remote]...        (default: all three)
# FUZZ_SECONDS bounds each run (default 60). The decoders are pure code, so they build here
# without MinGW. Any crash is copied into tests/fuzz/regressions/<kind>/, where the native test
# tier replays it from then on; rename it to say what it exercises before committing it.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(wav vorbis remote)
seconds="${FUZZ_SECONDS:-60}"
out="$BUILD_ROOT/fuzz"
regressions="$ROOT/tests/fuzz/regressions"

# Tools: clang with the libFuzzer and sanitizer runtimes; sox and oggenc for seeds.
packages=(clang libclang-rt-14-dev libstb-dev nlohmann-json3-dev sox vorbis-tools)
install_missing "${packages[@]}"

mkdir -p "$out"
flags=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=all -I"$ROOT" -isystem /usr/include/stb)

build() {  # build KIND SOURCES...: the target and the production files it reaches
  local kind=$1; shift
  log "building ${kind}_fuzzer"
  clang++ "${flags[@]}" -DJSON_USE_IMPLICIT_CONVERSIONS=0 -o "$out/${kind}_fuzzer" \
    "$ROOT/tests/fuzz/${kind}_fuzzer.cpp" "${@/#/$ROOT/}"
}

# A handful of well-formed files in the layouts the parser branches on, so the fuzzer starts
# from every format instead of having to discover each from scratch.
make_seeds() {
  local kind=$1 dir="$out/seeds/$kind"
  [ -d "$dir" ] && return 0
  mkdir -p "$dir"
  local tone=(synth 0.004 sine 440)
  if [ "$kind" = remote ]; then
    printf '%s' '{"category":1,"index":2}' > "$dir/play.json"
    printf '%s' '{"hotkey":"F5"}' > "$dir/hotkey.json"
    printf '%s' '{"step":-10}' > "$dir/step.json"
    printf '%s' '{"cmd":"volume","level":50,"id":"a1"}' > "$dir/message.json"
    printf '%s' '{"cmd":"slots","id":7}' > "$dir/slots.json"
    printf 'http://127.0.0.1:39393\n127.0.0.1:39393' > "$dir/origin.txt"
    printf 'Bearer 00112233445566778899aabbccddeeff\n/api/events?code=00112233445566778899aabbccddeeff' > "$dir/code.txt"
  elif [ "$kind" = wav ]; then
    sox -n -r 8000 -c 1 -b 8 -e unsigned-integer "$dir/u8-mono.wav" "${tone[@]}"
    sox -n -r 22050 -c 2 -b 16 -e signed-integer "$dir/s16-stereo.wav" "${tone[@]}"
    sox -n -r 48000 -c 2 -b 24 -e signed-integer "$dir/s24-stereo.wav" "${tone[@]}"
    sox -n -r 44100 -c 1 -b 32 -e signed-integer "$dir/s32-mono.wav" "${tone[@]}"
    sox -n -r 44100 -c 2 -b 32 -e floating-point "$dir/f32-stereo.wav" "${tone[@]}"
    sox -n -r 96000 -c 1 -b 64 -e floating-point "$dir/f64-mono.wav" "${tone[@]}"
    # More than two channels makes sox write WAVE_FORMAT_EXTENSIBLE.
    sox -n -r 48000 -c 6 -b 16 -e signed-integer "$dir/s16-5.1-extensible.wav" "${tone[@]}"
    sox -n -r 32000 -c 4 -b 32 -e floating-point "$dir/f32-quad-extensible.wav" "${tone[@]}"
  else
    local tmp="$dir/tmp.wav"
    sox -n -r 8000 -c 1 -b 16 "$tmp" synth 0.05 sine 440
    oggenc -Q -q -1 -o "$dir/mono-8000.ogg" "$tmp"
    sox -n -r 44100 -c 2 -b 16 "$tmp" synth 0.05 sine 440 sine 660
    oggenc -Q -q 2 -o "$dir/stereo-44100.ogg" "$tmp"
    rm -f "$tmp"
  fi
}

make_dict() {
  local kind=$1
  if [ "$kind" = remote ]; then
    printf '%s\n' '"{"' '"}"' '"["' '"]"' '"\\""' '":"' '","' '"null"' '"true"' '"\\"cmd\\""' '"\\"id\\""' \
      '"\\"play\\""' '"\\"stop\\""' '"\\"volume\\""' '"\\"state\\""' '"\\"slots\\""' '"\\"category\\""' \
      '"\\"index\\""' '"\\"hotkey\\""' '"\\"step\\""' '"\\"level\\""' '"http://"' '"Bearer "' '"?code="' \
      '"localhost"' '"127.0.0.1"' '":39393"' '"\\\\ud800"' >"$out/$kind.dict"
  elif [ "$kind" = wav ]; then
    printf '%s\n' '"RIFF"' '"WAVE"' '"fmt "' '"data"' '"LIST"' '"fact"' '"\xfe\xff"' '"\x01\x00"' \
      '"\x03\x00"' '"\xff\xff\xff\xff"' \
      '"\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"' >"$out/$kind.dict"
  else
    printf '%s\n' '"OggS"' '"\x01vorbis"' '"\x03vorbis"' '"\x05vorbis"' '"BCV"' >"$out/$kind.dict"
  fi
}

status=0
for kind in "${kinds[@]}"; do
  case "$kind" in
    wav) build wav playback/engine/Pcm.cpp playback/engine/WavDecoder.cpp ;;
    vorbis) build vorbis playback/engine/Pcm.cpp playback/engine/VorbisDecoder.cpp ;;
    remote) build remote remote/Protocol.cpp remote/Rules.cpp remote/Utf8.cpp ;;
    *) log "unknown fuzzer: $kind (wav, vorbis or remote)"; exit 2 ;;
  esac
  make_seeds "$kind"
  make_dict "$kind"
  corpus="$out/corpus/$kind"
  artifacts="$out/artifacts/$kind"
  mkdir -p "$corpus" "$artifacts" "$regressions/$kind"
  rm -f "$artifacts"/*  # only this run's findings get copied below

  log "fuzzing $kind for ${seconds}s"
  # New inputs go to the first folder only; the seeds and the checked-in regressions are read.
  # A bounded file can still legitimately take a while (a 1 Hz WAV resamples to ten minutes),
  # hence the generous per-input timeout.
  if ! "$out/${kind}_fuzzer" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=3072 -max_len=65536 \
      -dict="$out/$kind.dict" -artifact_prefix="$artifacts/" -print_final_stats=1 \
      "$corpus" "$out/seeds/$kind" "$regressions/$kind" 2>"$out/$kind.log"; then
    status=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$out/$kind.log" >&2 || true

  found=0
  for crash in "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-*; do
    [ -e "$crash" ] || continue
    cp -n "$crash" "$regressions/$kind/"
    log "kept $(basename "$crash") in tests/fuzz/regressions/$kind/"
    found=1
  done
  if [ "$found" = 1 ]; then
    status=1
    log "$kind: failures found, see $out/$kind.log"
  fi
done
exit "$status"
