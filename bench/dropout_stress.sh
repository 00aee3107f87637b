#!/usr/bin/env bash
# Dropouts through a real PortAudio device (a private PulseAudio server with a null sink, reached
# through ALSA's default device), first on a quiet machine, then with two CPU-bound processes
# beside it. Usage: dropout_stress.sh DROPOUT_BENCH [SECONDS] [more dropout_bench options]
set -euo pipefail
bench=${1:?usage: dropout_stress.sh DROPOUT_BENCH [SECONDS] [options]}
seconds=${2:-600}
shift $(( $# >= 2 ? 2 : 1 ))
for tool in pulseaudio pactl; do
  command -v "$tool" >/dev/null || { echo "($tool is not installed: dropout stress skipped)"; exit 0; }
done
work=$(mktemp -d)
export HOME=$work XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --load="module-null-sink sink_name=kelvra_bench rate=44100" \
  --load=module-native-protocol-unix >"$work/pulse.log" 2>&1 &
server=$!
hogs=()
cleanup() {
  for h in "${hogs[@]}"; do kill "$h" 2>/dev/null || true; done
  kill $server 2>/dev/null; wait $server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 50); do pactl set-default-sink kelvra_bench 2>/dev/null && break; sleep 0.1; done
unset KELVRA_AUDIO
quiet=$(( seconds < 60 ? seconds : 60 ))
echo "-- baseline: a quiet machine, $quiet s"
"$bench" "$quiet" "$@"
echo "-- two CPU-bound processes beside it, $seconds s"
for _ in 1 2; do (while :; do :; done) & hogs+=($!); done
"$bench" "$seconds" "$@"
