#!/usr/bin/env bash
# Runs every benchmark program of a build folder, one after the other, then the load stress
# through a real sound server and the soak (SOAK_HOURS simulated hours, default 24).
set -euo pipefail
build=${1:?usage: run-bench.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen KELVRA_AUDIO=null
for bench in "$build"/bench/*_bench; do
    [ -x "$bench" ] || continue
    echo "== $(basename "$bench")"
    "$bench"
done
echo "== MIDI latency under a dummy JACK server: the device layer, then note to sound"
bash "$(dirname "$0")/../bench/midi_latency.sh" "$build/bench/midi_latency_bench" 3 100 || true
bash "$(dirname "$0")/../bench/midi_sound_latency.sh" "$build/src/kelvra" \
  "$build/bench/midi_sound_latency_bench" 2 20 || true
echo "== startup_bench: launch to the main window's first paint, against a Qt hello-world"
python3 "$(dirname "$0")/../bench/startup_bench.py" "$build/src/kelvra" 20 "$build/bench/library_bench"
echo "== session_bench"
bash "$(dirname "$0")/../bench/session_bench.sh" "$build/src/kelvra-cli"
echo "== memory_bench"
bash "$(dirname "$0")/../bench/memory_bench.sh" "$build/src/kelvra-cli" || true
echo "== load_stress_bench through PortAudio and a PulseAudio null sink"
(unset KELVRA_AUDIO; bash "$(dirname "$0")/../bench/load_stress_pulse.sh" "$build/bench/load_stress_bench")
# A simulated day takes about twenty minutes here; SOAK_HOURS=0 leaves it out.
if [ "${SOAK_HOURS:-24}" -gt 0 ]; then
  echo "== soak_bench (${SOAK_HOURS:-24} simulated hours)"
  python3 "$(dirname "$0")/../bench/soak_bench.py" "$build/src/kelvra-cli" "${SOAK_HOURS:-24}"
fi
