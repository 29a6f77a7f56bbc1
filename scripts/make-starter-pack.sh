#!/usr/bin/env bash
# Synthesizes a small starter pack of effect sounds with sox into a program folder's effect
# folders: scripts/make-starter-pack.sh PROGRAM_DIR. Nothing is downloaded; every sound is made
# here from noise and tones.
set -euo pipefail
dir=${1:?usage: make-starter-pack.sh PROGRAM_DIR}
root="$dir/音效"
mkdir -p "$root/常用音效" "$root/气氛音效" "$root/其他音效" "$root/自定义音效" "$root/备用音效"
s() { sox -D -q -n -r 44100 -c 2 "$@"; }
s "$root/常用音效/掌声.wav" synth 1.6 pinknoise tremolo 11 90 fade 0.05 1.6 0.5 gain -6
s "$root/常用音效/欢呼.wav" synth 1.4 brownnoise synth 1.4 sine amod 4 fade 0.1 1.4 0.6 gain -4
s "$root/常用音效/提示音.wav" synth 0.15 sine 880 : synth 0.25 sine 1320 fade 0 0.25 0.1 gain -8
s "$root/常用音效/鼓声.wav" synth 0.5 sine 70-40 fade 0 0.5 0.45 gain -2
s "$root/常用音效/激光.wav" synth 0.4 square 2000-200 fade 0 0.4 0.2 gain -16
s "$root/气氛音效/开场.wav" synth 2 sine 262 sine 330 sine 392 fade 0.3 2 0.8 gain -10
s "$root/气氛音效/心跳.wav" synth 0.12 sine 55 : synth 0.25 sine 0 : synth 0.12 sine 50 : synth 0.5 sine 0 gain -1
s "$root/其他音效/敲门声.wav" synth 0.06 brownnoise : synth 0.15 sine 0 : synth 0.06 brownnoise : synth 0.15 sine 0 : synth 0.06 brownnoise gain -3
s "$root/其他音效/下雨声.wav" synth 2.5 whitenoise lowpass 3000 fade 0.4 2.5 0.6 gain -14
s "$root/自定义音效/叮咚.wav" synth 0.4 sine 784 fade 0 0.4 0.35 : synth 0.6 sine 659 fade 0 0.6 0.5 gain -8
