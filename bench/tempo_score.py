#!/usr/bin/env python3
"""Scores kelvra-cli's tempos against bench/tempo_tracks.tsv, for bench/tempo_check.sh.

    tempo_score.py LIST WAV_ANALYSIS MP3_ANALYSIS [SET...]     SET: TUNE, JUDGE (default: both)

For the steady tracks of each set: right (within 0.5 BPM of the reference), half, double,
two-thirds, three-halves (within 1.5 % of that multiple), other, or none (no tempo given), from
the WAV; then for every track of the set, how often the MP3's tempo is more than 0.5 BPM from
the WAV's; for the wandering tracks, how many got no tempo (the honest answer); and which tracks
the WAV's analysis says change tempo part-way (their tempo is the longest steady stretch's).
"""
import os
import sys

RATIOS = [("half", 0.5), ("double", 2.0), ("two-thirds", 2 / 3), ("three-halves", 1.5)]


def read_analysis(path):
    """{name: (tempo, tempo changes)} from kelvra-cli analyse's output, by its header's names."""
    tempos = {}
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        bpm_at, file_at = header.index("bpm"), header.index("file")
        changes_at = header.index("tempo_changes") if "tempo_changes" in header else None
        for line in f:
            cols = line.rstrip("\n").split("\t")
            if len(cols) != len(header):
                continue
            name = os.path.splitext(os.path.basename(cols[file_at]))[0]
            try:
                tempo = float(cols[bpm_at])
            except ValueError:
                tempo = 0.0
            tempos[name] = (tempo, changes_at is not None and cols[changes_at] == "1")
    return tempos


def verdict(bpm, reference):
    if not bpm:
        return "none"
    if abs(bpm - reference) <= 0.5:
        return "right"
    for name, ratio in RATIOS:
        if abs(bpm / (reference * ratio) - 1) <= 0.015:
            return name
    return "other"


def main():
    listing, wav_path, mp3_path, *sets = sys.argv[1:]
    sets = sets or ["TUNE", "JUDGE"]
    wav_read, mp3_read = read_analysis(wav_path), read_analysis(mp3_path)
    wav = {name: tempo for name, (tempo, _) in wav_read.items()}
    mp3 = {name: tempo for name, (tempo, _) in mp3_read.items()}
    tracks = []
    with open(listing) as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            package, path, reference, kind, group = line.rstrip("\n").split("\t")
            name = package + "--" + os.path.splitext(os.path.basename(path))[0]
            tracks.append((name, float(reference) if reference != "-" else 0.0, kind, group))
    for group in sets:
        chosen = [t for t in tracks if t[3] == group]
        steady = [t for t in chosen if t[2] == "steady"]
        wandering = [t for t in chosen if t[2] == "wandering"]
        counts = {}
        misses = []
        for name, reference, _, _ in steady:
            v = verdict(wav.get(name, 0.0), reference)
            counts[v] = counts.get(v, 0) + 1
            if v != "right":
                misses.append(f"  {v:<12} {name}: {wav.get(name, 0.0):.2f}, reference {reference:.2f}")
        disagree = [t[0] for t in chosen if abs(wav.get(t[0], 0.0) - mp3.get(t[0], 0.0)) > 0.5]
        honest = sum(1 for t in wandering if not wav.get(t[0], 0.0))
        right = counts.get("right", 0)
        share = 100 * right / len(steady) if steady else 0
        print(f"{group}: steady {len(steady)}: right {right} ({share:.0f} %), " +
              ", ".join(f"{n} {counts.get(n, 0)}" for n in
                        ["half", "double", "two-thirds", "three-halves", "other", "none"]))
        changing = [t[0] for t in chosen if wav_read.get(t[0], (0.0, False))[1]]
        print(f"{group}: MP3 and WAV disagree on {len(disagree)} of {len(chosen)}; "
              f"wandering {len(wandering)}: no tempo given for {honest}; "
              f"said to change tempo: {len(changing)}")
        for m in misses:
            print(m)
        for name in changing:
            print(f"  changes      {name}: {wav.get(name, 0.0):.2f}")
        for name in disagree:
            print(f"  mp3/wav      {name}: {mp3.get(name, 0.0):.2f} against {wav.get(name, 0.0):.2f}")


if __name__ == "__main__":
    main()
