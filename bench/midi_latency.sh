#!/usr/bin/env bash
# How late a controller's note-on reaches Kelvra's UI thread through its MIDI devices, beside a
# plain JACK client hearing the same notes in the same run, under a dummy JACK server at 128 and
# 256 frames a period. Usage: midi_latency.sh MIDI_LATENCY_BENCH [RUNS] [NOTES]
#
# What this measures is the device layer alone: the note-on is stamped with JACK's clock when the
# sender's process callback plays it, and the time it reaches the UI thread (where a mapping turns
# it into a control move) is taken on the same clock. The whole way from a note-on to the sound,
# through the desktop program, its mapping and its engine, is midi_sound_latency.sh's.
. "$(dirname "$0")/jack_server.sh"
set -euo pipefail
bench=${1:?usage: midi_latency.sh MIDI_LATENCY_BENCH [RUNS] [NOTES]}
runs=${2:-5}
notes=${3:-200}
command -v jackd >/dev/null || { echo "(jackd is not installed: MIDI latency bench skipped)"; exit 0; }
export JACK_DEFAULT_SERVER=kelvra-midi-bench-$$
for period in 128 256; do
  start_jack_server "$period"
  "$bench" "$runs" "$notes" 2>/dev/null || true
  kill $server; wait $server 2>/dev/null || true
done
