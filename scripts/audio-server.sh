# Sourced by the test and bench scripts: a private PulseAudio server with two null sinks, the
# test's two output devices, and a recorder on each sink's monitor so tests can check what
# really came out. A third null sink, velmora_mic, is the microphone: its monitor is the default
# capture device, and what tests play into it (test-audio-ctl.sh tone) is what the program
# captures; it is recorded too. start_audio_server DIR; stop_audio_server.

AUDIO_PIDS=()
AUDIO_TAG=""

# The recorders of one server carry a name made from its folder, so ending them never touches
# another run's (a second checkout, a fresh-system check) on the same machine.
recorder_tag() { printf 'velmora-rec-%s' "$(printf '%s' "$1" | cksum | cut -d' ' -f1)"; }

start_audio_server() {
  local dir=$1
  mkdir -p "$dir"
  export PULSE_RUNTIME_PATH="$dir/run"
  export PULSE_STATE_PATH="$dir/state"
  export PULSE_SERVER="unix:$dir/native"
  mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
  cat > "$dir/pa.pa" <<PA
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
load-module module-null-sink sink_name=velmora_a sink_properties=device.description=VelmoraSinkA
load-module module-null-sink sink_name=velmora_b sink_properties=device.description=VelmoraSinkB
load-module module-null-sink sink_name=velmora_mic sink_properties=device.description=VelmoraMic
set-default-sink velmora_a
set-default-source velmora_mic.monitor
PA
  pulseaudio -n -F "$dir/pa.pa" --daemonize=yes --exit-idle-time=-1 --disallow-exit \
    --log-target=file:"$dir/pulse.log" >/dev/null 2>&1 || true
  for _ in $(seq 1 50); do
    LANG=C pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  if ! LANG=C pactl info >/dev/null 2>&1; then
    echo "audio server did not start; see $dir/pulse.log" >&2
    return 1
  fi
  # Recorders from the start: the first samples of a test are not late, and tests read what
  # each sink played from these files (s16le, 44.1 kHz, stereo).
  local sink
  AUDIO_TAG=$(recorder_tag "$dir")
  for sink in velmora_a velmora_b velmora_mic; do
    : > "$dir/$sink.raw"
    parec -d "$sink.monitor" --client-name="$AUDIO_TAG" --format=s16le --rate=44100 --channels=2 \
      --latency-msec=10 >> "$dir/$sink.raw" 2>/dev/null &
    AUDIO_PIDS+=($!)
  done
  sleep 1  # the recorders and the sinks settle before the first test plays
}

stop_audio_server() {
  local pid
  for pid in "${AUDIO_PIDS[@]}"; do kill "$pid" >/dev/null 2>&1 || true; done
  # Including those restarted by test-audio-ctl.sh.
  [ -n "$AUDIO_TAG" ] && pkill -f -- "--client-name=$AUDIO_TAG" >/dev/null 2>&1 || true
  LANG=C pactl exit >/dev/null 2>&1 || pulseaudio -k >/dev/null 2>&1 || true
}
