#!/usr/bin/env bash
# Changes the test sound server while tests run (the tests call it through Wine):
#   test-audio-ctl.sh AUDIO_DIR default SINK   make SINK the default output
#   test-audio-ctl.sh AUDIO_DIR unplug SINK    unload SINK, as if the device were pulled out
#   test-audio-ctl.sh AUDIO_DIR plug SINK      load SINK again
#   test-audio-ctl.sh AUDIO_DIR tone SINK FILE plays the sound FILE into SINK (velmora_mic: the
#                                              microphone) in the background
# PulseAudio moves recorders along when the default changes or a sink comes and goes, so the
# monitor recorders are started afresh each time, appending to their files.
set -u
dir=$1 action=$2 sink=$3
export LANG=C

if [ "$action" = tone ]; then
  setsid paplay -d "$sink" "$4" >/dev/null 2>&1 < /dev/null &
  exit 0
fi

tag="velmora-rec-$(printf '%s' "$dir" | cksum | cut -d' ' -f1)"  # as scripts/audio-server.sh names them

restart_recorder() {
  local name=$1
  # Only this server's recorder of that sink; the bracket keeps pkill off this script's own line.
  pkill -f "parec -d ${name%?}[${name: -1}].monitor --client-name=$tag" 2>/dev/null
  setsid parec -d "$name.monitor" --client-name="$tag" --format=s16le --rate=44100 --channels=2 \
    --latency-msec=10 >> "$dir/$name.raw" 2>/dev/null < /dev/null &
}

case $action in
  default)
    pactl set-default-sink "$sink"
    ;;
  unplug)
    module=$(pactl list short modules | awk -v s="sink_name=$sink" '$0 ~ s {print $1}')
    [ -n "$module" ] && pactl unload-module "$module"
    ;;
  plug)
    if [ "$sink" = velmora_mic ]; then
      pactl load-module module-null-sink sink_name=velmora_mic sink_properties=device.description=VelmoraMic >/dev/null
      pactl set-default-source velmora_mic.monitor
    else
      pactl load-module module-null-sink sink_name="$sink" \
        sink_properties=device.description="$(echo "$sink" | sed 's/velmora_\(.\)/VelmoraSink\U\1/')" >/dev/null
    fi
    ;;
esac
for name in velmora_a velmora_b velmora_mic; do
  pactl list short sinks | grep -q "	$name	" && restart_recorder "$name"
done
sleep 0.3
