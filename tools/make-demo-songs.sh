#!/usr/bin/env bash
# Synthesizes Kelvra's demo songs and their playlist into a folder: a handful of short tracks at
# different tempos, tagged the ways real collections are (ID3v2 and ID3v1, ID3v1 only, WMA
# attributes, an untagged WAV), so a fresh start has something to mix.
set -euo pipefail
out=${1:?usage: make-demo-songs.sh OUTDIR}
seconds=${DEMO_SECONDS:-45}
mkdir -p "$out"

# One bar-based groove: a pitched-down kick on every beat, an off-beat hat, a pulsing bass note and
# a soft pad; `bpm` sets the tempo, `root` the bass note in Hz.
groove() {
    local bpm=$1 root=$2
    local b="(60/$bpm)"
    local kick="0.55*sin(2*PI*t*(45+90*exp(-25*mod(t,$b))))*exp(-7*mod(t,$b))"
    local hat="0.06*(2*random(0)-1)*exp(-70*mod(t+$b/2,$b))"
    local bass="0.22*sin(2*PI*$root*t)*exp(-5*mod(t+$b/2,$b))"
    local pad="0.05*(sin(2*PI*$root*4*t)+sin(2*PI*$root*5*t)+sin(2*PI*$root*6*t))*(0.6+0.4*sin(2*PI*t/8))"
    echo "$kick+$hat+$bass+$pad"
}

# Appends a space-padded ID3v1 block: title, artist, album, year, comment, genre number.
id3v1() {
    local file=$1
    {
        printf 'TAG%-30.30s%-30.30s%-30.30s%-4.4s%-30.30s' "$2" "$3" "$4" "$5" "$6"
        printf "\\$(printf '%03o' "$7")"
    } >> "$file"
}

render() {  # bpm root rate channels output [ffmpeg args...]
    local bpm=$1 root=$2 rate=$3 channels=$4 output=$5
    shift 5
    local expr
    expr=$(groove "$bpm" "$root")
    local layout=mono
    [ "$channels" = 2 ] && layout=stereo
    local exprs="$expr"
    [ "$channels" = 2 ] && exprs="$expr|$expr"
    ffmpeg -nostdin -loglevel error -y -f lavfi \
        -i "aevalsrc=exprs='$exprs':s=$rate:c=$layout:d=$seconds" \
        -af "afade=t=in:d=2,afade=t=out:st=$((seconds - 3)):d=3" "$@" "$output"
}

render 124 55 44100 2 "$out/Midnight Drive.mp3" -c:a libmp3lame -b:a 192k \
    -id3v2_version 3 -write_id3v1 1 \
    -metadata title="Midnight Drive" -metadata artist="Kelvra Demo Band" \
    -metadata album="Kelvra Demo Set" -metadata date=2026 -metadata comment="124 BPM"
render 128 49 44100 2 "$out/Neon Steps.mp3" -c:a libmp3lame -q:a 2 -id3v2_version 0
id3v1 "$out/Neon Steps.mp3" "Neon Steps" "The Night Shift" "Kelvra Demo Set" 2026 "128 BPM" 18
render 118 62 44100 2 "$out/Deep Current.wma" -c:a wmav2 -b:a 128k \
    -metadata title="Deep Current" -metadata artist="Harbour Lights" \
    -metadata album="Kelvra Demo Set"
render 100 41 44100 2 "$out/Warm Up Loop.wav" -c:a pcm_s16le
render 132 58 22050 1 "$out/Sunrise Anthem.mp3" -c:a libmp3lame -b:a 64k \
    -id3v2_version 3 -metadata title="Sunrise Anthem" -metadata artist="Kelvra Demo Band"

# The playlist: one path a line, CR LF line ends, the last line ended too.
playlist="$out/Kelvra Demo.m3u"
: > "$playlist"
for song in "Midnight Drive.mp3" "Neon Steps.mp3" "Deep Current.wma" "Warm Up Loop.wav" \
    "Sunrise Anthem.mp3"; do
    printf '%s\r\n' "$(cd "$out" && pwd)/$song" >> "$playlist"
done
