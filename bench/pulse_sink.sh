# Sourced by the benchmarks that play through a real PortAudio device: starts a private
# PulseAudio server whose default sink is a null sink named kelvra_bench (reached through ALSA's
# default device, so the callback is the sound server's), and stops it on exit. Returns 1, with
# a line saying so, where the server is not installed. Sets $work to a scratch folder and runs
# the caller's `cleanup_more` (if defined) on exit before removing it.
start_pulse_sink() {
  local tool
  for tool in pulseaudio pactl; do
    command -v "$tool" >/dev/null || { echo "($tool is not installed: $1 skipped)"; return 1; }
  done
  work=$(mktemp -d)
  export HOME=$work XDG_RUNTIME_DIR=$work/runtime
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --load="module-null-sink sink_name=kelvra_bench rate=44100" \
    --load=module-native-protocol-unix >"$work/pulse.log" 2>&1 &
  pulse_server=$!
  trap stop_pulse_sink EXIT
  local _
  for _ in $(seq 50); do pactl set-default-sink kelvra_bench 2>/dev/null && break; sleep 0.1; done
  unset KELVRA_AUDIO
}
stop_pulse_sink() {
  if declare -F cleanup_more >/dev/null; then cleanup_more; fi
  kill "$pulse_server" 2>/dev/null; wait "$pulse_server" 2>/dev/null || true
  rm -rf "$work"
}
