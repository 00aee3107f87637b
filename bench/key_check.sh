#!/usr/bin/env bash
# Key finding on released music: the pieces of bench/key_pieces.tsv (MIDI files and ABC tunes
# from Debian packages, each with the key its source states) rendered to WAV with fluidsynth and
# a General MIDI sound font, then analysed by kelvra-cli. Prints, per set, how many keys were
# found exactly, how many were a fifth off, the relative or the parallel key, or none at all, and
# the weighted score (1 exact, 0.5 fifth, 0.3 relative, 0.2 parallel), then each miss.
#
#   bench/key_check.sh KELVRA_CLI [SET...]     SET: TUNE, JUDGE (default: both)
#
# Packages are downloaded once into the scratch folder (KEY_CHECK_DIR, default
# /tmp/kelvra-key-check: 130 MB of packages, 850 MB of WAV) and the renders are kept there; the
# analysis cache is new for every run so a changed key finder is always measured afresh. Not
# part of the tests: it needs the package mirror and takes minutes.
. "$(dirname "$0")/unpack_listed.sh"
set -euo pipefail
cli=$(realpath "${1:?usage: key_check.sh KELVRA_CLI [SET...]}")
shift
here=$(cd "$(dirname "$0")" && pwd)
list=$here/key_pieces.tsv
helper=$here/key_midi.py
scratch=${KEY_CHECK_DIR:-/tmp/kelvra-key-check}
font=/usr/share/sounds/sf2/FluidR3_GM.sf2
# Debian's own interpreter: the helper needs nothing beyond the standard library, but a
# version manager's python3 earlier on PATH may lack a module; plain python3 works too.
python=/usr/bin/python3
[ -x "$python" ] || python=python3

need=()
command -v fluidsynth >/dev/null || need+=(fluidsynth)
[ -f "$font" ] || need+=(fluid-soundfont-gm)
command -v abc2midi >/dev/null || need+=(abcmidi)
command -v "$python" >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}" >&2
  apt-get install -y --no-install-recommends "${need[@]}" >/dev/null ||
    { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${need[@]}" >/dev/null; }
fi

mkdir -p "$scratch/wav"
started=$(date +%s)

unpack_listed "$list" "$scratch"

# Each piece as a WAV named after its package and file, rendered once.
wavs=()
while IFS=$'\t' read -r package path key group; do
  [[ -z $package || $package == \#* ]] && continue
  wav=$scratch/wav/$("$python" "$helper" name "$package" "$path")
  if [ ! -s "$wav" ]; then
    "$python" "$helper" midi "$scratch/root/$package/$path" "$scratch/piece.mid"
    # -g 0.5 keeps dense arrangements from clipping; 44.1 kHz 16-bit like a ripped song.
    nice fluidsynth -ni -g 0.5 -r 44100 -F "$wav.part" -T wav "$font" "$scratch/piece.mid" \
      >/dev/null 2>&1
    mv "$wav.part" "$wav"
  fi
  wavs+=("$wav")
done <"$list"
rendered=$(date +%s)

cache=$(mktemp -d -p "$scratch" cache.XXXXXX)
trap 'rm -rf "$cache"' EXIT
XDG_CACHE_HOME=$cache nice "$cli" analyse "${wavs[@]}" >"$scratch/analyse.tsv"
analysed=$(date +%s)

"$python" "$helper" score "$list" "$scratch/analyse.tsv" "$@"
echo "(${#wavs[@]} pieces; preparing and rendering $((rendered - started)) s," \
  "analysing $((analysed - rendered)) s)"
