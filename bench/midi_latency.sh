#!/usr/bin/env bash
# How late a controller's note-on reaches Kelvra's UI thread through its MIDI devices, beside a
# plain JACK client hearing the same notes in the same run, under a dummy JACK server at 128 and
# 256 frames a period. Usage: midi_latency.sh MIDI_LATENCY_BENCH [RUNS] [NOTES]
#
# What this measures is the device layer alone: the note-on is stamped with JACK's clock when the
# sender's process callback plays it, and the time it reaches the UI thread (where a mapping turns
# it into a control move) is taken on the same clock. The whole way from a note-on to the sound,
# through the desktop program, its mapping and its engine, is midi_sound_latency.sh's.
set -euo pipefail
bench=${1:?usage: midi_latency.sh MIDI_LATENCY_BENCH [RUNS] [NOTES]}
runs=${2:-5}
notes=${3:-200}
command -v jackd >/dev/null || { echo "(jackd is not installed: MIDI latency bench skipped)"; exit 0; }
export JACK_DEFAULT_SERVER=kelvra-midi-bench-$$
for period in 128 256; do
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
  "$bench" "$runs" "$notes" 2>/dev/null || true
  kill $server; wait $server 2>/dev/null || true
done
