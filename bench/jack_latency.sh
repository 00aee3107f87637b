#!/usr/bin/env bash
# Kelvra's JACK client beside jack_simple_client, each alone under a dummy JACK server at 64, 128
# and 256 frames a period. Usage: jack_latency.sh JACK_LATENCY_BENCH [SECONDS]
. "$(dirname "$0")/jack_server.sh"
set -euo pipefail
bench=${1:?usage: jack_latency.sh JACK_LATENCY_BENCH [SECONDS]}
seconds=${2:-60}
command -v jackd >/dev/null || { echo "(jackd is not installed: latency bench skipped)"; exit 0; }
export JACK_DEFAULT_SERVER=kelvra-bench-$$
for period in 64 128 256; do
  for run in baseline kelvra; do
    start_jack_server "$period"
    "$bench" "$run" "$seconds" || true
    kill $server; wait $server 2>/dev/null || true
  done
done
