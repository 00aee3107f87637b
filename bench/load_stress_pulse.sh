#!/usr/bin/env bash
# The load stress benchmark through a real PortAudio device (a private PulseAudio null sink).
# Usage: load_stress_pulse.sh LOAD_STRESS_BENCH [LOADS]
set -euo pipefail
bench=${1:?usage: load_stress_pulse.sh LOAD_STRESS_BENCH [LOADS]}
loads=${2:-200}
source "$(dirname "$0")/pulse_sink.sh"
start_pulse_sink "PortAudio load stress" || exit 0
"$bench" "$loads" --device
