#!/usr/bin/env bash
# Kelvra's JACK client beside jack_simple_client, each alone under a dummy JACK server at 64, 128
# and 256 frames a period. Usage: jack_latency.sh JACK_LATENCY_BENCH [SECONDS]
set -euo pipefail
bench=${1:?usage: jack_latency.sh JACK_LATENCY_BENCH [SECONDS]}
seconds=${2:-60}
command -v jackd >/dev/null || { echo "(jackd is not installed: latency bench skipped)"; exit 0; }
export JACK_DEFAULT_SERVER=kelvra-bench-$$
for period in 64 128 256; do
  for run in baseline kelvra; do
    # Real-time scheduling where the machine allows it, as a DJ's server runs.
    jackd --name "$JACK_DEFAULT_SERVER" -d dummy --rate 48000 --period "$period" >/dev/null 2>&1 &
    server=$!
    sleep 1
    if ! kill -0 $server 2>/dev/null; then
      jackd --no-realtime --name "$JACK_DEFAULT_SERVER" -d dummy --rate 48000 --period "$period" \
        >/dev/null 2>&1 &
      server=$!
      sleep 1
    fi
    "$bench" "$run" "$seconds" || true
    kill $server; wait $server 2>/dev/null || true
  done
done
