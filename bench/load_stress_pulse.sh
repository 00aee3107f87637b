#!/usr/bin/env bash
# The load stress benchmark through a real PortAudio device: a private PulseAudio server with a
# null sink, reached through ALSA's default device, so the callback is the sound server's.
# Usage: load_stress_pulse.sh LOAD_STRESS_BENCH [LOADS]
set -euo pipefail
bench=${1:?usage: load_stress_pulse.sh LOAD_STRESS_BENCH [LOADS]}
loads=${2:-200}
for tool in pulseaudio pactl; do
  command -v "$tool" >/dev/null || { echo "($tool is not installed: PortAudio load stress skipped)"; exit 0; }
done
work=$(mktemp -d)
export HOME=$work XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --load="module-null-sink sink_name=kelvra_bench rate=44100" \
  --load=module-native-protocol-unix >"$work/pulse.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do pactl set-default-sink kelvra_bench 2>/dev/null && break; sleep 0.1; done
"$bench" "$loads" --device
