#!/usr/bin/env bash
# Runs every fuzz target of a build folder for SECONDS each, over a working copy of its seed
# corpus (fuzz/corpus/<name>/, <name> being the target without "_fuzz"), so the checked-in seeds
# stay as they are. Exits non-zero when any target finds a crash; the input that caused it is
# kept in build/fuzz-findings/<name>/ to become a regression test. FUZZ_RUNS ends each target after
# that many executions instead (SECONDS still bounds it); FUZZ_TARGETS="asf sniff" picks targets.
set -uo pipefail
build=${1:?usage: run-fuzz.sh BUILD_DIR SECONDS}
seconds=${2:?usage: run-fuzz.sh BUILD_DIR SECONDS}
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The parsers allocate many small texts; a smaller quarantine and shorter allocation stacks keep
# AddressSanitizer from spending most of each run in page faults and stack unwinding.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=4}

found=0
ran=0
for target in "$build"/fuzz/*_fuzz; do
    [ -x "$target" ] || continue
    name=$(basename "$target" _fuzz)
    if [ -n "${FUZZ_TARGETS:-}" ] && [[ " $FUZZ_TARGETS " != *" $name "* ]]; then continue; fi
    mkdir -p "$work/$name" "$repo/build/fuzz-findings/$name"
    cp -r "$repo/fuzz/corpus/$name/." "$work/$name/" 2>/dev/null || true
    log="$work/$name.log"
    # Paths, ID3v1 tails and attribute lists are short; ID3v2 tags get libFuzzer's default.
    case "$name" in
        filename) max_len=160 ;;
        readnumber) max_len=64 ;;
        id3v1) max_len=512 ;;
        wma) max_len=1024 ;;
        session | settings) max_len=2048 ;;
        *) max_len=4096 ;;
    esac
    "$target" -max_total_time="$seconds" ${FUZZ_RUNS:+-runs="$FUZZ_RUNS"} -max_len="$max_len" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$repo/build/fuzz-findings/$name/" "$work/$name" >"$log" 2>&1
    status=$?
    runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    ran=$((ran + 1))
    if [ "$status" -eq 0 ]; then
        took=$(grep -oE 'Done [0-9]+ runs in [0-9]+ second' "$log" | awk '{print $5}')
        echo "fuzz $name: ok, ${runs:-?} runs in ${took:-$seconds}s"
    else
        found=$((found + 1))
        echo "fuzz $name: FAILED (exit $status); findings in build/fuzz-findings/$name/"
        grep -E 'ERROR|SUMMARY|runtime error' "$log" | head -n 5
    fi
done
[ "$ran" -gt 0 ] || { echo "fuzz: no targets in $build/fuzz"; exit 1; }
exit $((found > 0))
