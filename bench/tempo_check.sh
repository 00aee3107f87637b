#!/usr/bin/env bash
# Tempo on released music: the tracks of bench/tempo_tracks.tsv (game music from Debian
# packages, each with a reference tempo found by bench/tempo_reference.py, not by Kelvra),
# decoded to 44.1 kHz WAV and encoded from that WAV to MP3 (LAME, 192 kbit/s), both analysed by
# kelvra-cli. Prints, per set, how many steady tracks got the right tempo, how many a half,
# double, two-thirds or three-halves of it, how often the MP3 and the WAV disagree, how many
# wandering tracks got no tempo and which tracks are said to change tempo, then each miss.
#
#   bench/tempo_check.sh KELVRA_CLI [SET...]     SET: TUNE, JUDGE (default: both)
#
# Packages are downloaded once into the scratch folder (TEMPO_CHECK_DIR, default
# /tmp/kelvra-tempo-check: 1.2 GB of packages, 4.5 GB of WAV and MP3; a run over decoded tracks takes about 2.5 minutes) and the decodes are kept
# there; the analysis cache is new for every run so a changed tracker is always measured afresh.
# Not part of the tests: it needs the package mirror and takes minutes.
. "$(dirname "$0")/unpack_listed.sh"
set -euo pipefail
cli=$(realpath "${1:?usage: tempo_check.sh KELVRA_CLI [SET...]}")
shift
here=$(cd "$(dirname "$0")" && pwd)
list=$here/tempo_tracks.tsv
scratch=${TEMPO_CHECK_DIR:-/tmp/kelvra-tempo-check}
python=/usr/bin/python3
[ -x "$python" ] || python=python3

need=()
command -v ffmpeg >/dev/null || need+=(ffmpeg)
"$python" -c 'import numpy' 2>/dev/null || need+=(python3-numpy)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}" >&2
  apt-get install -y --no-install-recommends "${need[@]}" >/dev/null ||
    { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${need[@]}" >/dev/null; }
fi

mkdir -p "$scratch/wav" "$scratch/mp3"
started=$(date +%s)

unpack_listed "$list" "$scratch"

wavs=() mp3s=()
while IFS=$'\t' read -r package path reference kind group; do
  [[ -z $package || $package == \#* ]] && continue
  name=$package--$(basename "$path" .ogg)
  wav=$scratch/wav/$name.wav mp3=$scratch/mp3/$name.mp3
  if [ ! -s "$wav" ]; then
    nice ffmpeg -nostdin -v error -y -i "$scratch/root/$package/$path" -ar 44100 -ac 2 \
      -c:a pcm_s16le -f wav "$wav.part"
    mv "$wav.part" "$wav"
  fi
  if [ ! -s "$mp3" ]; then
    nice ffmpeg -nostdin -v error -y -i "$wav" -c:a libmp3lame -b:a 192k -f mp3 "$mp3.part"
    mv "$mp3.part" "$mp3"
  fi
  wavs+=("$wav") mp3s+=("$mp3")
done <"$list"
decoded=$(date +%s)

cache=$(mktemp -d -p "$scratch" cache.XXXXXX)
trap 'rm -rf "$cache"' EXIT
XDG_CACHE_HOME=$cache nice "$cli" analyse "${wavs[@]}" >"$scratch/analyse-wav.tsv"
rm -rf "$cache" && mkdir -p "$cache"
XDG_CACHE_HOME=$cache nice "$cli" analyse "${mp3s[@]}" >"$scratch/analyse-mp3.tsv"
analysed=$(date +%s)

"$python" "$here/tempo_score.py" "$list" "$scratch/analyse-wav.tsv" "$scratch/analyse-mp3.tsv" "$@"
echo "(${#wavs[@]} tracks; preparing and decoding $((decoded - started)) s," \
  "analysing $((analysed - decoded)) s)"
