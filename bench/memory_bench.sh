#!/usr/bin/env bash
# Peak memory of a headless session: two 10-minute songs loaded on the two decks, played and
# analysed, per format, with an empty analysis cache (so the analysis runs) and again with the
# cache it filled. Prints the peak resident set size beside the 150 MB goal.
set -euo pipefail
cli=${1:?usage: memory_bench.sh KELVRA_CLI [SECONDS]}
seconds=${2:-600}
goal_kb=$((150 * 1024))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
encode() { # frequency format codec-args...
  local f=$1 ext=$2; shift 2
  ffmpeg -v error -y -f lavfi -i "sine=frequency=$f:sample_rate=44100:duration=$seconds" \
    -ac 2 "$@" "$work/$f.$ext"
}
for f in 440 550; do
  encode "$f" mp3 -c:a libmp3lame -b:a 192k
  encode "$f" flac -c:a flac
  encode "$f" wma -c:a wmav2 -b:a 128k
done
# Peak RSS in kB of a command, from the kernel's own count once it has ended.
peak_kb() {
  /usr/bin/time -f '%M' -o "$work/peak" "$@" >/dev/null 2>&1
  cat "$work/peak"
}
status=0
for ext in mp3 flac wma; do
  {
    echo "0.1 load left $work/440.$ext"
    echo "0.1 load right $work/550.$ext"
    echo "0.2 click playCB2"
    echo "0.2 click playCB"
  } >"$work/$ext.txt"
  for cache in empty warm; do
    [ "$cache" = empty ] && rm -rf "$work/config-$ext"
    mkdir -p "$work/config-$ext"
    kb=$(KELVRA_CONFIG_DIR="$work/config-$ext" peak_kb "$cli" session "$work/$ext.txt" \
      --out "$work/out.wav" --seconds "$seconds")
    verdict=ok
    [ "$kb" -le "$goal_kb" ] || { verdict="OVER the goal"; status=1; }
    printf 'memory: two %ss %-4s songs, %-5s analysis cache: peak %4d MB (goal 150 MB) %s\n' \
      "$seconds" "$ext" "$cache" $((kb / 1024)) "$verdict"
  done
done
exit $status
