#!/usr/bin/env bash
# How long from a controller's note-on to the sound, through the whole desktop program: a dummy
# JACK server at 48 kHz and 128 then 256 frames a period, the program under a virtual X server
# with KELVRA_AUDIO=jack, a song on its left deck, and settings that open the bench's MIDI port
# with a mapping binding a note to the deck's play button and another to its pause button. The
# bench taps play, measures the first changed sample on kelvra:master_1 on JACK's frame clock,
# pauses, and again; beside it, a plain JACK client makes sound of the same note in its own
# process callback. The program is started afresh for each run.
# Usage: midi_sound_latency.sh KELVRA_PROGRAM MIDI_SOUND_LATENCY_BENCH [RUNS] [NOTES]
. "$(dirname "$0")/jack_server.sh"
set -euo pipefail
program=${1:?usage: midi_sound_latency.sh KELVRA_PROGRAM MIDI_SOUND_LATENCY_BENCH [RUNS] [NOTES]}
bench=${2:?usage: midi_sound_latency.sh KELVRA_PROGRAM MIDI_SOUND_LATENCY_BENCH [RUNS] [NOTES]}
runs=${3:-3}
notes=${4:-20}
for tool in jackd Xvfb python3; do
  command -v $tool >/dev/null || { echo "($tool is not installed: bench skipped)"; exit 0; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# One fixed name: JACK keeps only a few server names at once.
export JACK_DEFAULT_SERVER=kelvra-midi-sound-bench
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config KELVRA_CONFIG_DIR=$work/config
export KELVRA_AUDIO=jack QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_CONFIG_HOME/kelvra/controllers" "$KELVRA_CONFIG_DIR"
mapping=$XDG_CONFIG_HOME/kelvra/controllers/bench.map
printf 'note 1 36 playCB2\nnote 1 37 LpauseCB\n' >"$mapping"
song=$work/tone.wav
python3 - "$song" <<'PY'
import math, struct, sys, wave
rate = 48000
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
    frames = bytearray()
    for i in range(rate * 120):
        v = int(12000 * math.sin(2 * math.pi * 440 * i / rate))
        frames += struct.pack("<hh", v, v)
    w.writeframes(bytes(frames))
PY

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null)
pids+=($!)
read -r display <&3
export DISPLAY=:$display

all_kelvra=() all_plain=()
for period in 128 256; do
  pooled_k=() pooled_p=()
  for ((run = 1; run <= runs; run++)); do
    start_jack_server "$period"
    pids+=($server)
    # A fresh home and settings each run: what the options remember is the bench's port and
    # the mapping, and nothing a run before left.
    rm -rf "$KELVRA_CONFIG_DIR" "$work/home/.local" && mkdir -p "$KELVRA_CONFIG_DIR"
    printf '[Software]\nKelvra\\MidiInputs=bench-pads:out\nKelvra\\ControllerMapping=%s\n' \
      "$mapping" >"$KELVRA_CONFIG_DIR/machine.ini"
    "$bench" "$notes" >"$work/out" 2>"$work/err" &
    bench_pid=$!
    sleep 0.5
    "$program" "$song" >/dev/null 2>&1 &
    kelvra=$!
    pids+=($kelvra)
    if wait $bench_pid; then
      sed -n 1p "$work/out" | sed "s/^/run $run: /"; [[ -z ${BENCH_RAW:-} ]] || sed -n 2p "$work/out"
      read -ra k <<<"$(sed -n 's/^raw kelvra //p' "$work/out")"
      read -ra p <<<"$(sed -n 's/^raw plain //p' "$work/out")"
      pooled_k+=("${k[@]}") pooled_p+=("${p[@]}")
    else
      echo "run $run: failed: $(tr '\n' ' ' <"$work/err")"
    fi
    kill $kelvra 2>/dev/null || true; wait $kelvra 2>/dev/null || true
    kill $server 2>/dev/null || true; wait $server 2>/dev/null || true
    unset 'pids[-1]' 'pids[-1]'
  done
  if ((${#pooled_k[@]})); then
    python3 - "$period" "${#pooled_k[@]}" "${pooled_k[@]}" "${pooled_p[@]}" <<'PY'
import statistics, sys
period, n = int(sys.argv[1]), int(sys.argv[2])
k = [float(x) for x in sys.argv[3:3 + n]]
p = [float(x) for x in sys.argv[3 + n:]]
budget = period / 48.0 + 1.0
med = statistics.median(k)
print(f"period {period} ({period / 48.0:.2f} ms), {n} notes over the runs: baseline min {min(p):.3f} "
      f"median {statistics.median(p):.3f} ms | Kelvra min {min(k):.3f} median {med:.3f} "
      f"max {max(k):.3f} ms; one period plus 1 ms is {budget:.2f} ms: "
      f"{'held' if med <= budget else 'NOT held'} at the median, "
      f"{sum(x <= budget for x in k)} of {n} notes within it")
PY
  fi
done
