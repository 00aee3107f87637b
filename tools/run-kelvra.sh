#!/usr/bin/env bash
# Starts Kelvra from a build folder. Without a sound card, run with KELVRA_AUDIO=null.
set -euo pipefail
build=${1:?usage: run-kelvra.sh BUILD_DIR [FILE]}
shift
exec "$build/src/kelvra" "$@"
