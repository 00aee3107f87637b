#!/usr/bin/env bash
# Session render speed, timed side by side in the same run, min and median of several runs in
# times real time: a 10-minute two-deck session of sines with a pitch change every second beside a
# plain render of one of its songs (with an empty analysis cache, every run its own new cache
# folder, and with a warm one); two music-like songs with pitch moves every half second, cold,
# beside a bare ffmpeg decode of both; and an Auto-DJ mix.
set -euo pipefail
cli=${1:?usage: session_bench.sh KELVRA_CLI [RUNS]}
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in 440 550; do
  ffmpeg -v error -y -f lavfi -i "sine=frequency=$f:sample_rate=44100:duration=620" -ac 2 \
    -b:a 192k "$work/$f.mp3"
done
{
  echo "0.1 load left $work/440.mp3"
  echo "0.1 load right $work/550.mp3"
  echo "0.2 click playCB2"
  echo "0.2 click playCB"
  for s in $(seq 1 599); do
    echo "$s set LpitchScroll $((800 + (s * 37) % 400))"
    echo "$s set RpitchScroll $((800 + (s * 53) % 400))"
  done
} >"$work/set.txt"

timed() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); echo "$t1 - $t0" | bc; }
# cold: a cache folder no run has used; warm: one filled by a run before the timing starts.
cold() { local dir; dir=$(mktemp -d -p "$work"); XDG_CACHE_HOME=$dir timed "$@"; }
warm() { XDG_CACHE_HOME=$work/warm timed "$@"; }
mkdir -p "$work/warm"
XDG_CACHE_HOME=$work/warm "$cli" session "$work/set.txt" --out "$work/s.wav" --seconds 5 >/dev/null
session=() sessionWarm=() render=()
for _ in $(seq "$runs"); do
  session+=("$(cold "$cli" session "$work/set.txt" --out "$work/s.wav" --seconds 600)")
  sessionWarm+=("$(warm "$cli" session "$work/set.txt" --out "$work/s.wav" --seconds 600)")
  render+=("$(timed "$cli" render "$work/440.mp3" --out "$work/r.wav" --seconds 600)")
done
report() {
  local name=$1; shift
  printf '%s\n' "$@" | sort -n | awk -v name="$name" '{ t[NR] = $1 } END {
    printf "%-44s best %6.0fx  median %6.0fx real time\n", name, 600 / t[1], 600 / t[int((NR + 1) / 2)] }'
}
report "session, empty cache: two decks, pitch moves" "${session[@]}"
report "session, warm cache: two decks, pitch moves" "${sessionWarm[@]}"
report "render: one deck, no changes (baseline)" "${render[@]}"

# Two music-like 10-minute songs (kick, hat, bass, a chord pad) with a pitch move on both decks
# every half second and an empty cache, so both songs are analysed while the session renders;
# timed beside a bare ffmpeg decode of both files in the same run.
groove() {
  local bpm=$1 root=$2 b="(60/$1)"
  echo "0.55*sin(2*PI*t*(45+90*exp(-25*mod(t,$b))))*exp(-7*mod(t,$b))+0.06*(2*random(0)-1)*exp(-70*mod(t+$b/2,$b))+0.22*sin(2*PI*$root*t)*exp(-5*mod(t+$b/2,$b))+0.05*(sin(2*PI*$root*4*t)+sin(2*PI*$root*5*t)+sin(2*PI*$root*6*t))*(0.6+0.4*sin(2*PI*t/8))"
}
for song in "124 55 drive" "128 49 steps"; do
  read -r bpm root name <<<"$song"
  expr=$(groove "$bpm" "$root")
  ffmpeg -nostdin -v error -y -f lavfi -i "aevalsrc=exprs='$expr|$expr':s=44100:c=stereo:d=620" \
    -b:a 192k "$work/$name.mp3"
done
{
  echo "0.1 load left $work/drive.mp3"
  echo "0.1 load right $work/steps.mp3"
  echo "0.2 click playCB2"
  echo "0.2 click playCB"
  for h in $(seq 1 1199); do
    echo "$((h / 2)).$((h % 2 * 5)) set LpitchScroll $((800 + (h * 37) % 400))"
    echo "$((h / 2)).$((h % 2 * 5)) set RpitchScroll $((800 + (h * 53) % 400))"
  done
} >"$work/music.txt"
music=() decode=()
for _ in $(seq "$runs"); do
  music+=("$(cold "$cli" session "$work/music.txt" --out "$work/s.wav" --seconds 600)")
  decode+=("$(timed sh -c "ffmpeg -nostdin -v error -i '$work/drive.mp3' -t 600 -f null - &&
    ffmpeg -nostdin -v error -i '$work/steps.mp3' -t 600 -f null -")")
done
report "music session, empty cache: pitch every 0.5 s" "${music[@]}"
report "ffmpeg: bare decode of both songs" "${decode[@]}"
printf '%s\n' "${music[@]}" | sort -n | awk '{ m[NR] = $1 } END { print m[1], m[int((NR + 1) / 2)] }' >"$work/m"
printf '%s\n' "${decode[@]}" | sort -n | awk '{ d[NR] = $1 } END { print d[1], d[int((NR + 1) / 2)] }' >"$work/d"
paste -d' ' "$work/m" "$work/d" | awk '{
  printf "music session / ffmpeg decode speed: best %.2f  median %.2f\n", $3 / $1, $4 / $2 }'

# An Auto-DJ mix of four 3-minute songs, rendered twice: speed, and the same bytes both times.
: >"$work/mix.m3u"
for f in 330 440 550 660; do
  ffmpeg -v error -y -f lavfi -i "sine=frequency=$f:sample_rate=44100:duration=180" -ac 2 \
    -b:a 192k "$work/m$f.mp3"
  printf '%s\r\n' "$work/m$f.mp3" >>"$work/mix.m3u"
done
mix=() mixWarm=()
XDG_CACHE_HOME=$work/warm "$cli" automix "$work/mix.m3u" --out "$work/b.wav" >/dev/null 2>&1
for _ in $(seq "$runs"); do
  mix+=("$(cold "$cli" automix "$work/mix.m3u" --out "$work/a.wav" 2>/dev/null)")
  mixWarm+=("$(warm "$cli" automix "$work/mix.m3u" --out "$work/b.wav" 2>/dev/null)")
done
seconds=$(XDG_CACHE_HOME=$work/warm "$cli" automix "$work/mix.m3u" --out "$work/b.wav" 2>/dev/null |
  awk -F'\t' 'NR == 1 { print $2 + 0 }')
mixReport() {
  local name=$1; shift
  printf '%s\n' "$@" | sort -n | awk -v s="$seconds" -v name="$name" '{ t[NR] = $1 } END {
    printf "%-44s best %6.0fx  median %6.0fx real time\n", name, s / t[1], s / t[int((NR + 1) / 2)] }'
}
mixReport "automix, empty cache: four 3-minute songs" "${mix[@]}"
mixReport "automix, warm cache: four 3-minute songs" "${mixWarm[@]}"
cmp -s "$work/a.wav" "$work/b.wav" && echo "automix: cold and warm renders identical" || echo "automix: renders DIFFER"
