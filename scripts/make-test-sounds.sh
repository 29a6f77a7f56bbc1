#!/usr/bin/env bash
# Makes the sounds the playback tests decode: scripts/make-test-sounds.sh OUTDIR
#
# Every good sound is a sine at amplitude 0.5, so a test can check rate, channels, length, pitch
# and level of whatever a decoder hands back:
#   sine1k-s16-stereo-44100.wav   1 kHz, 0.5 s, 16-bit PCM, stereo, 44,100 Hz
#   sine1k-u8-mono-22050.wav      1 kHz, 0.5 s, 8-bit PCM, mono, 22,050 Hz
#   sine1k-s24-stereo-48000.wav   1 kHz, 0.5 s, 24-bit PCM, stereo, 48,000 Hz
#   sine1k-f32-mono-44100.wav     1 kHz, 0.5 s, 32-bit float (WAVE_FORMAT_IEEE_FLOAT), mono
#   sine1k.mp3                    1 kHz, 0.5 s, stereo, 44,100 Hz, LAME 128 kbit/s
#   sine1k.ogg                    1 kHz, 0.5 s, stereo, 44,100 Hz, Vorbis q4
#   sine1k.flac                   1 kHz, 0.5 s, stereo, 48,000 Hz, 24-bit
#   sine1k.m4a                    1 kHz, 0.5 s, mono, 48,000 Hz, AAC-LC (ffmpeg's aac)
#   sine1k.wma                    1 kHz, 0.5 s, stereo, 44,100 Hz, WMA v2
#   sine440.wav / sine440.mp3     440 Hz, 0.5 s, stereo, 44,100 Hz (16-bit / LAME)
#   sine660-3s.wav                660 Hz, 3 s, 16-bit stereo, 44,100 Hz
#   掌声.wav                      copy of sine1k-s16-stereo-44100.wav
#   乗车.wav / 乗车.mp3           copies of sine1k-s16-stereo-44100.wav / sine1k.mp3
#   long-1k-then-440.mp3          70 s, mono, 22,050 Hz, LAME 32 kbit/s: 1 s of 1 kHz, then
#                                 440 Hz (long enough to play while it decodes)
#   long-1k-then-440.ogg          the same 70 s, stereo, 44,100 Hz, Vorbis q0
#   long-1k-then-440.wav          the same 70 s, 16-bit stereo, 44,100 Hz (12 MB)
#   long-12min-22050.ogg          720 s of 440 Hz, mono, 22,050 Hz, Vorbis q-1
#   too-long.flac                 silence, 16-bit mono 192,000 Hz, one frame more than the
#                                 decoders accept (kMaxSourceFrames = 28,800,000)
# Files no decoder may accept:
#   empty.wav, empty.mp3          zero bytes
#   random.{mp3,wav,ogg,flac,m4a} 8 KiB of seeded pseudo-random bytes
#   truncated.mp3                 the first 300 bytes of sine1k.mp3
#   lying-sizes.wav               valid header start, but the fmt chunk claims to run far past
#                                 the end of the file and RIFF claims 4 GiB
# A file whose header lies in a way a tolerant reader may forgive:
#   long-data-size.wav            sine1k-s16-stereo-44100.wav whose data chunk claims ten
#                                 times the bytes that follow
#
# Idempotent: OUTDIR/.done holds this script's checksum; when it matches nothing is redone.
set -euo pipefail

out=${1:?usage: make-test-sounds.sh OUTDIR}
stamp=$(sha256sum "${BASH_SOURCE[0]}" | cut -d' ' -f1)
if [ -f "$out/.done" ] && [ "$(cat "$out/.done")" = "$stamp" ]; then
  exit 0
fi

mkdir -p "$out"
rm -f "$out/.done"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# sox: -D keeps it from dithering, so every run writes the same samples.
sine() {  # sine FREQ SECONDS RATE CHANNELS FILE [sox output options...]
  local freq=$1 seconds=$2 rate=$3 channels=$4 file=$5
  shift 5
  sox -D -n -r "$rate" -c "$channels" "$@" "$file" synth "$seconds" sine "$freq" vol 0.5
}

sine 1000 0.5 44100 2 "$out/sine1k-s16-stereo-44100.wav" -b 16 -e signed-integer
sine 1000 0.5 22050 1 "$out/sine1k-u8-mono-22050.wav" -b 8 -e unsigned-integer
sine 1000 0.5 48000 2 "$out/sine1k-s24-stereo-48000.wav" -b 24 -e signed-integer
sine 1000 0.5 44100 1 "$out/sine1k-f32-mono-44100.wav" -b 32 -e floating-point
sine 1000 0.5 48000 1 "$work/sine1k-mono-48000.wav" -b 16 -e signed-integer
sine 440 0.5 44100 2 "$out/sine440.wav" -b 16 -e signed-integer
sine 660 3 44100 2 "$out/sine660-3s.wav" -b 16 -e signed-integer

lame --quiet -b 128 "$out/sine1k-s16-stereo-44100.wav" "$out/sine1k.mp3"
lame --quiet -b 128 "$out/sine440.wav" "$out/sine440.mp3"
sox -D -n -r 22050 -c 1 "$out/long-head.wav" synth 1 sine 1000 vol 0.5
sox -D -n -r 22050 -c 1 "$out/long-tail.wav" synth 69 sine 440 vol 0.5
sox -D "$out/long-head.wav" "$out/long-tail.wav" "$work/long-22050.wav"
lame --quiet -b 32 "$work/long-22050.wav" "$out/long-1k-then-440.mp3"
sox -D "$work/long-22050.wav" -r 44100 -c 2 -b 16 "$out/long-1k-then-440.wav"
oggenc -Q -q 0 --serial 43 -o "$out/long-1k-then-440.ogg" "$out/long-1k-then-440.wav"
rm -f "$out/long-head.wav" "$out/long-tail.wav"
sine 440 720 22050 1 "$work/long-12min.wav" -b 16 -e signed-integer
oggenc -Q -q -1 --serial 44 -o "$out/long-12min-22050.ogg" "$work/long-12min.wav"
oggenc -Q -q 4 --serial 42 -o "$out/sine1k.ogg" "$out/sine1k-s16-stereo-44100.wav"
sine 1000 0.5 48000 2 "$out/sine1k.flac" -b 24
ffmpeg -nostdin -v error -y -i "$work/sine1k-mono-48000.wav" -c:a aac -b:a 96k -bitexact \
  "$out/sine1k.m4a"
ffmpeg -nostdin -v error -y -i "$out/sine1k-s16-stereo-44100.wav" -c:a wmav2 -b:a 128k -bitexact \
  "$out/sine1k.wma"

cp "$out/sine1k-s16-stereo-44100.wav" "$out/掌声.wav"
cp "$out/sine1k-s16-stereo-44100.wav" "$out/乗车.wav"
cp "$out/sine1k.mp3" "$out/乗车.mp3"

# 28,800,001 frames of silence, streamed as raw samples (a piped WAV header cannot hold the
# length) into flac, which packs them into a few hundred KiB.
sox -D -r 192000 -c 1 -n -t raw -b 16 -e signed-integer - trim 0s 28800001s |
  flac -s -f -0 --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 \
    --sample-rate=192000 -o "$out/too-long.flac" -

: >"$out/empty.wav"
: >"$out/empty.mp3"
head -c 300 "$out/sine1k.mp3" >"$out/truncated.mp3"

python3 - "$out" <<'EOF'
import random, struct, sys
out = sys.argv[1]

# The same bytes on every run: a fixed seed and getrandbits, whose output Python keeps stable.
rng = random.Random(42)
noise = bytes(rng.getrandbits(8) for _ in range(8192))
for ext in ("mp3", "wav", "ogg", "flac", "m4a"):
    with open(f"{out}/random.{ext}", "wb") as f:
        f.write(noise)

with open(f"{out}/sine1k-s16-stereo-44100.wav", "rb") as f:
    good = bytearray(f.read())
fmt = good.find(b"fmt ")
data = good.find(b"data")
assert fmt == 12 and data > 0

lying = bytearray(good)
struct.pack_into("<I", lying, 4, 0xFFFFFFFF)
struct.pack_into("<I", lying, fmt + 4, 0x7FFFFFF0)
with open(f"{out}/lying-sizes.wav", "wb") as f:
    f.write(lying)

long_data = bytearray(good)
claimed = (len(good) - data - 8) * 10
struct.pack_into("<I", long_data, 4, data + claimed)
struct.pack_into("<I", long_data, data + 4, claimed)
with open(f"{out}/long-data-size.wav", "wb") as f:
    f.write(long_data)
EOF

echo "$stamp" >"$out/.done"
