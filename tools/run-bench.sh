#!/usr/bin/env bash
# Runs every benchmark program of a build folder, one after the other.
set -euo pipefail
build=${1:?usage: run-bench.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen KELVRA_AUDIO=null
for bench in "$build"/bench/*_bench; do
    [ -x "$bench" ] || continue
    echo "== $(basename "$bench")"
    "$bench"
done
echo "== session_bench"
bash "$(dirname "$0")/../bench/session_bench.sh" "$build/src/kelvra-cli"
