#!/usr/bin/env bash
# Renders a fixed set of sessions and Auto-DJ mixes (tools/renders: transport, tone, loops,
# scratch, headphones, keys, a controller mapping, a recording) with two builds of kelvra-cli and
# compares the outputs byte for byte: for a change that must not move a single sample, such as a
# restructuring. Prints OK, or the renders that differ (both sets kept in the printed folder).
#
#   tools/compare-renders.sh OLD_KELVRA_CLI NEW_KELVRA_CLI
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
old=$(realpath "${1:?usage: compare-renders.sh OLD_KELVRA_CLI NEW_KELVRA_CLI}")
new=$(realpath "${2:?usage: compare-renders.sh OLD_KELVRA_CLI NEW_KELVRA_CLI}")
work=$(mktemp -d /tmp/kelvra-renders.XXXXXX)
songs=$work/songs
DEMO_SECONDS=20 bash "$here/make-demo-songs.sh" "$songs" >/dev/null

render() {  # CLI OUTDIR
    local cli=$1 out=$2 script name extra
    mkdir -p "$out/home"
    (
        export QT_QPA_PLATFORM=offscreen HOME=$out/home XDG_CONFIG_HOME=$out/home/config
        export XDG_CACHE_HOME=$out/home/cache XDG_DATA_HOME=$out/home/data
        export KELVRA_CONFIG_DIR=$out/home/config/kelvra
        for script in "$here"/renders/*.ks; do
            name=$(basename "$script" .ks)
            sed "s#@S#$songs#g" "$script" >"$out/$name.ks"
            extra=()
            case $name in
                phones) extra=(--phones "$out/$name.phones.wav") ;;
                midi) extra=(--mapping "$here/renders/mapping.map") ;;
                record) extra=(--record "$out/$name.rec.flac") ;;
            esac
            "$cli" session "$out/$name.ks" --out "$out/$name.wav" "${extra[@]}" \
                >"$out/$name.log" 2>&1 || echo "session $name failed with $cli"
        done
        "$cli" automix "$songs/Kelvra Demo.m3u" --out "$out/automix.wav" \
            --cue-sheet "$out/automix.cue" >"$out/automix.log" 2>&1 || echo "automix failed with $cli"
        "$cli" automix "$songs/Kelvra Demo.m3u" --out "$out/automix-silence.wav" --skip-silence \
            --start 60 >"$out/automix-silence.log" 2>&1 || echo "automix failed with $cli"
    )
    (cd "$out" && md5sum ./*.wav ./*.flac ./*.cue 2>/dev/null) >"$out.md5"
}

render "$old" "$work/old"
render "$new" "$work/new"
if diff "$work/old.md5" "$work/new.md5" >"$work/diff.txt"; then
    echo OK
    rm -rf "$work"
else
    echo "DIFFERENT (renders kept in $work):"
    cat "$work/diff.txt"
    exit 1
fi
