#!/usr/bin/env bash
# Runs the whole test suite of a build folder through CTest and ends with one line
# "N passed, N failed". Tests run headless: Qt's offscreen platform and the null audio output.
set -uo pipefail
build=${1:?usage: run-tests.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen
export KELVRA_AUDIO=null
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# The live tests play through a real JACK server or a live program and measure what is heard
# against the clock: they run after the rest, one at a time, so that no other test's work on the
# same cores decides whether a MIDI message or a period arrives in time.
live='Live|Jack'
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 -E "$live" 2>&1 |
    tee "$log"
status=${PIPESTATUS[0]}
ctest --test-dir "$build" --output-on-failure --timeout 600 -R "$live" 2>&1 | tee -a "$log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1

# Smoke check of the fuzz targets (a clang build of their own): each runs a few seconds over its
# seeds and counts as one test; a fuzz build that fails counts as one failed test. The same clang
# tree also builds the program and the command-line tool, so every run compiles the code with
# both GCC and Clang, warnings as errors, without a third full build of the tests.
repo=$(cd "$(dirname "$0")/.." && pwd)
fuzz_log=$(mktemp)
trap 'rm -f "$log" "$fuzz_log"' EXIT
if (cd "$repo" && cmake --preset fuzz >/dev/null && cmake --build build/fuzz --target kelvra_fuzzers kelvra kelvra-cli -j "$(nproc)" >"$fuzz_log" 2>&1); then
    bash "$repo/tools/run-fuzz.sh" "$repo/build/fuzz" 5 | tee "$fuzz_log"
else
    cat "$fuzz_log"
    echo "fuzz build: FAILED" | tee "$fuzz_log"
fi
fuzz_passed=$(grep -c ': ok' "$fuzz_log")
fuzz_failed=$(grep -c ': FAILED' "$fuzz_log")
[ "$fuzz_failed" -eq 0 ] || status=1

# ctest's own summary reads "NN% tests passed, F tests failed out of T", once for each run.
summaries=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log")
if [ "$(grep -c . <<<"$summaries")" -eq 2 ]; then
    failed=0 total=0
    while read -r line; do
        failed=$((failed + $(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")))
        total=$((total + $(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")))
    done <<<"$summaries"
    echo "$((total - failed + fuzz_passed)) passed, $((failed + fuzz_failed)) failed"
else
    echo "${fuzz_passed} passed, $((1 + fuzz_failed)) failed"
    status=1
fi
exit "$status"
