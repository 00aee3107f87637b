#!/usr/bin/env bash
# Dropouts through a real PortAudio device (a private PulseAudio null sink), first on a quiet
# machine, then with two CPU-bound processes beside it.
# Usage: dropout_stress.sh DROPOUT_BENCH [SECONDS] [more dropout_bench options]
set -euo pipefail
bench=${1:?usage: dropout_stress.sh DROPOUT_BENCH [SECONDS] [options]}
seconds=${2:-600}
shift $(( $# >= 2 ? 2 : 1 ))
source "$(dirname "$0")/pulse_sink.sh"
hogs=()
cleanup_more() { for h in "${hogs[@]}"; do kill "$h" 2>/dev/null || true; done; }
start_pulse_sink "dropout stress" || exit 0
quiet=$(( seconds < 60 ? seconds : 60 ))
echo "-- baseline: a quiet machine, $quiet s"
"$bench" "$quiet" "$@"
echo "-- two CPU-bound processes beside it, $seconds s"
for _ in 1 2; do (while :; do :; done) & hogs+=($!); done
"$bench" "$seconds" "$@"
