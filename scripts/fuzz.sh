#!/usr/bin/env bash
# Fuzzes natively on Linux with libFuzzer, AddressSanitizer and UBSan:
#   wav, vorbis  the WAV and Ogg Vorbis decoders (whole-file and streaming, the length each file
#                declares, plus the conversion to the engine format);
#   remote       the remote control's door (every request body and WebSocket message parsed,
#                carried out against a stand-in for the board and answered; the Host, Origin and
#                code rules);
#   stream       long files as they play: a WAV, Ogg or raw file in pieces of chosen sizes through
#                the stream converter and a stream feed, pulled in runs of chosen sizes;
#   loudness     the loudness meter over any samples (NaN, infinities, huge values) at any rate;
#   config       the configuration's text: whole-section writes, name trimming, stored numbers,
#                the walk through damaged GBK;
#   drop         the planning of files dropped on an effect button.
# Usage: scripts/fuzz.sh [wav|vorbis|remote|stream|loudness|config|drop]...   (default: all)
# FUZZ_SECONDS bounds each run (default 60). The targets are pure code, so they build here
# without MinGW. Any crash is copied into tests/fuzz/regressions/<kind>/, where the native test
# tier replays it from then on (tests/unit/fuzz_regressions_test.cpp); rename it to say what it
# exercises before committing it.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(wav vorbis remote stream loudness config drop)
seconds="${FUZZ_SECONDS:-60}"
out="$BUILD_ROOT/fuzz"
regressions="$ROOT/tests/fuzz/regressions"

# Tools: clang with the libFuzzer and sanitizer runtimes; sox and oggenc for seeds.
packages=(clang libclang-rt-14-dev libstb-dev nlohmann-json3-dev sox vorbis-tools)
install_missing "${packages[@]}"

mkdir -p "$out"
flags=(-std=c++20 -g -O1 -pthread -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
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
  # stream and loudness inputs start with bytes that choose sizes (and, for loudness, the rate
  # and the samples' kind); `controls HEX...` writes them.
  controls() { local b; for b in "$@"; do printf "\\x$b"; done; }
  if [ "$kind" = stream ]; then
    local tmp="$dir/tmp"
    local formats=("8000 1 8 unsigned-integer" "22050 2 16 signed-integer" "48000 6 32 floating-point"
                   "96000 4 24 signed-integer" "384000 1 16 signed-integer" "11025 3 32 floating-point")
    local i=0 f rate channels bits encoding
    for f in "${formats[@]}"; do
      read -r rate channels bits encoding <<<"$f"
      sox -n -r "$rate" -c "$channels" -b "$bits" -e "$encoding" "$tmp.wav" synth 0.05 sine 440
      { controls "$(printf %02x $((i * 37 + 5)))" 00 00 00 "$(printf %02x $((i * 13 + 3)))" 01 00 00; cat "$tmp.wav"; } \
        >"$dir/wav-$rate-$channels-$bits.bin"
      i=$((i + 1))
    done
    sox -n -r 8000 -c 1 -b 16 "$tmp.wav" synth 0.2 sine 440
    oggenc -Q -q -1 -o "$tmp.ogg" "$tmp.wav"
    { controls 07 00 00 00 03 00 00 00; cat "$tmp.ogg"; } >"$dir/ogg-mono-8000.bin"
    # Raw: channel count, then the rate (little-endian, 24-bit), then float frames.
    sox -n -r 11025 -c 3 -t f32 "$tmp.raw" synth 0.02 sine 440
    { controls 11 00 00 00 22 00 00 00 02 11 2b 00; cat "$tmp.raw"; } >"$dir/raw-3ch-11025.bin"
    rm -f "$tmp.wav" "$tmp.ogg" "$tmp.raw"
  elif [ "$kind" = loudness ]; then
    # Rate, piece seed, then kind: bit 0 float samples, the rest how many times they loop.
    local tmp="$dir/tmp.raw"
    sox -n -r 8000 -c 2 -t f32 "$tmp" synth 0.25 sine 1000
    { controls 40 1f 00 2a 00 00 00 0f; cat "$tmp"; } >"$dir/float-1khz-8000.bin"
    sox -n -r 48000 -c 2 -t s8 "$tmp" synth 0.3 sine 997 gain -20
    { controls 80 bb 00 05 00 00 00 0a; cat "$tmp"; } >"$dir/int8-997hz-48000.bin"
    sox -n -r 44100 -c 2 -t s8 "$tmp" synth 0.4 pinknoise
    { controls 44 ac 00 63 00 00 00 08; cat "$tmp"; } >"$dir/int8-noise-44100.bin"
    rm -f "$tmp"
  elif [ "$kind" = config ]; then
    printf '%s\n' '常用路径' '[常用路径]' '1=C:\音效\掌声.wav' '2 = x' '[常用标题]' '1=掌声' |
      iconv -f UTF-8 -t GBK >"$dir/gbk-sections.ini"
    printf 'Slots\n[slots]\r\n; note\r\na=1\r\n[Slots]\r\n' >"$dir/comment-and-repeat.ini"
    printf '\xef\xbb\xbf[a]\nb=1\n' >"$dir/bom.ini"
    printf '  -2147483647\x80\x81\x40\x81\x0a\xff' >"$dir/number-and-damaged-gbk.txt"
  elif [ "$kind" = drop ]; then
    # Category, slot, single, thirteen bytes of slots holding a file; then "path<TAB>caption" lines.
    { controls 01 1b 00 ff 00 00 00 00 00 00 00 00 00 00 00 00
      printf 'C:\\音效\\掌声.wav\t掌声\nD:\\b.mp3\tb\nE:\\c.ogg\tc\n'; } >"$dir/three-files-near-page-end.bin"
    { controls 03 05 01 00 00 00 00 00 00 00 00 00 00 00 00 00; printf 'C:\\one.wav\tone'; } >"$dir/single-file.bin"
  elif [ "$kind" = remote ]; then
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
  elif [ "$kind" = vorbis ]; then
    printf '%s\n' '"OggS"' '"\x01vorbis"' '"\x03vorbis"' '"\x05vorbis"' '"BCV"' >"$out/$kind.dict"
  elif [ "$kind" = stream ]; then
    printf '%s\n' '"RIFF"' '"WAVE"' '"fmt "' '"data"' '"\x01\x00"' '"\x03\x00"' '"\xfe\xff"' '"OggS"' \
      '"\x01vorbis"' '"\x40\x1f\x00"' '"\x00\xdc\x05"' '"\x00\x00\xc0\x7f"' '"\x00\x00\x80\x7f"' >"$out/$kind.dict"
  elif [ "$kind" = loudness ]; then
    # NaN, infinity, the largest float, a denormal, full scale; 8 kHz and 384 kHz.
    printf '%s\n' '"\x00\x00\xc0\x7f"' '"\x00\x00\x80\xff"' '"\xff\xff\x7f\x7f"' '"\x01\x00\x00\x00"' \
      '"\x00\x00\x80\x3f"' '"\x40\x1f\x00"' '"\x00\xdc\x05"' >"$out/$kind.dict"
  elif [ "$kind" = config ]; then
    printf '%s\n' '"["' '"]"' '"="' '";"' '"#"' '"\x0d\x0a"' '"\xef\xbb\xbf"' '"\xff\xfe"' '"-2147483648"' \
      '"2147483647"' '"\x81\x40"' '"\x80"' '"\xff"' >"$out/$kind.dict"
  else
    printf '%s\n' '"\x09"' '"\x0a"' '".wav"' '"\\"' >"$out/$kind.dict"
  fi
}

status=0
for kind in "${kinds[@]}"; do
  case "$kind" in
    wav) build wav playback/engine/Pcm.cpp playback/engine/WavDecoder.cpp ;;
    vorbis) build vorbis playback/engine/Pcm.cpp playback/engine/VorbisDecoder.cpp ;;
    remote) build remote remote/Protocol.cpp remote/Rules.cpp remote/Utf8.cpp config/SettingValues.cpp config/ProfileText.cpp ;;
    stream) build stream playback/engine/Pcm.cpp playback/engine/WavDecoder.cpp playback/engine/VorbisDecoder.cpp \
      playback/engine/StreamConverter.cpp playback/engine/StreamFeed.cpp ;;
    loudness) build loudness playback/engine/Loudness.cpp playback/engine/Pcm.cpp ;;
    config) build config config/ProfileText.cpp config/Encoding.cpp ;;
    drop) build drop hotkeys/DroppedFiles.cpp config/Catalogue.cpp ;;
    *) log "unknown fuzzer: $kind (wav, vorbis, remote, stream, loudness, config or drop)"; exit 2 ;;
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
