#!/usr/bin/env bash
# Starts Kelvra from a build folder: with the song or playlist given, or else with the demo
# playlist synthesized by the build. Without a sound card, run with KELVRA_AUDIO=null.
set -euo pipefail
build=${1:?usage: run-kelvra.sh BUILD_DIR [SONG-OR-PLAYLIST]}
shift
if [ $# -eq 0 ] || [ -z "${1:-}" ]; then
    set -- "$build/demo/Kelvra Demo.m3u"
fi
exec "$build/src/kelvra" "$@"
