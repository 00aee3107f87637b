#!/usr/bin/env bash
# Runs the whole test suite of a build folder through CTest and ends with one line
# "N passed, N failed". Tests run headless: Qt's offscreen platform and the null audio output.
set -uo pipefail
build=${1:?usage: run-tests.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen
export KELVRA_AUDIO=null
log=$(mktemp)
trap 'rm -f "$log"' EXIT

ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 2>&1 | tee "$log"
status=${PIPESTATUS[0]}

# ctest's own summary reads "NN% tests passed, F tests failed out of T".
summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
if [ -n "$summary" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
    echo "$((total - failed)) passed, ${failed} failed"
else
    echo "0 passed, 1 failed"
    status=1
fi
exit "$status"
