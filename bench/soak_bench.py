#!/usr/bin/env python3
"""A day of Auto-DJ: `kelvra-cli automix --repeat` over a 20-song playlist of mixed formats and
lengths, rendered offline for HOURS of mix (default 24). Samples the process's resident memory,
threads and open files as each track starts (from its progress lines), prints the memory growth
per simulated hour (least squares over the starts of each round of the playlist after the first
hour, so the same two songs are loaded at every point), and renders the day a second time to check
that the same input gives the same bytes.

Usage: soak_bench.py KELVRA_CLI [HOURS]
"""
import hashlib
import os
import subprocess
import sys
import tempfile
import time

RATE = 8000  # a day of stereo at 8 kHz fits the 4 GiB a WAV file can hold


def make_songs(folder):
    """Twenty songs of 70 s to 4 min: MP3 at a constant and a variable bit rate, WMA and WAV,
    tones over a quiet noise bed, some with a silent intro."""
    songs = []
    formats = [("mp3", ["-c:a", "libmp3lame", "-b:a", "192k"]),
               ("mp3", ["-c:a", "libmp3lame", "-q:a", "2"]),
               ("wma", ["-c:a", "wmav2", "-b:a", "160k"]),
               ("wav", ["-c:a", "pcm_s16le"])]
    for i in range(20):
        ext, codec = formats[i % len(formats)]
        seconds = 70 + (i * 53) % 170
        intro = 3 if i % 5 == 0 else 0
        path = os.path.join(folder, "song%02d.%s" % (i, ext))
        tone = "sine=frequency=%d:sample_rate=44100:duration=%d" % (220 + 37 * i, seconds)
        noise = "anoisesrc=color=pink:amplitude=0.05:sample_rate=44100:duration=%d" % seconds
        graph = "[0][1]amix=inputs=2,adelay=%d|%d,aformat=channel_layouts=stereo" % (
            intro * 1000, intro * 1000)
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", tone, "-f", "lavfi",
                        "-i", noise, "-filter_complex", graph] + codec + [path], check=True)
        songs.append(path)
    playlist = os.path.join(folder, "day.m3u")
    with open(playlist, "wb") as f:
        f.write(b"".join(os.fsencode(s) + b"\r\n" for s in songs))
    return playlist


def sample(pid):
    status = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            status[key] = value.split()
    return (int(status["VmRSS"][0]), int(status["Threads"][0]),
            len(os.listdir("/proc/%d/fd" % pid)))


def render(cli, playlist, out, hours, env):
    """Runs the mix; returns (wall seconds, [(hours, track, rss kB, threads, files)], summary)."""
    start = time.monotonic()
    process = subprocess.Popen([cli, "automix", playlist, "--out", out, "--rate", str(RATE),
                                "--repeat", "--seconds", str(hours * 3600)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, text=True)
    samples = []
    for line in process.stderr:
        # "kelvra-cli: H:MM:SS track N TITLE" as each track starts
        words = line.split()
        if len(words) >= 4 and words[2] == "track":
            h, m, sec = (int(x) for x in words[1].split(":"))
            samples.append(((h * 3600 + m * 60 + sec) / 3600, int(words[3])) +
                           sample(process.pid))
        else:
            sys.stderr.write(line)
    summary = process.stdout.readline().strip()
    process.stdout.read()
    if process.wait() != 0:
        sys.exit("automix failed (exit %d)" % process.returncode)
    return time.monotonic() - start, samples, summary


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def slope(points):
    n = len(points)
    mx = sum(x for x, _ in points) / n
    my = sum(y for _, y in points) / n
    sxx = sum((x - mx) ** 2 for x, _ in points)
    return sum((x - mx) * (y - my) for x, y in points) / sxx if sxx else 0.0


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    cli = sys.argv[1]
    hours = int(sys.argv[2]) if len(sys.argv) > 2 else 24
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, KELVRA_CONFIG_DIR=os.path.join(work, "config"),
                   XDG_CACHE_HOME=os.path.join(work, "cache"))
        playlist = make_songs(work)
        out = os.path.join(work, "day.wav")
        wall, samples, summary = render(cli, playlist, out, hours, env)
        first = digest(out)
        os.remove(out)
        wall2, _, _ = render(cli, playlist, out, hours, env)
        same = digest(out) == first
        os.remove(out)

    print("soak: %d simulated hours of Auto-DJ over 20 songs, %s" % (hours, summary))
    print("%-44s %7.1f s and %7.1f s wall, %6.0fx real time" % (
        "two renders of the day", wall, wall2, hours * 3600 / min(wall, wall2)))
    rounds = [x for x in samples if (x[1] - 1) % 20 == 0 and x[0] >= 1]
    print("%-10s %6s %12s %8s %6s" % ("round at", "track", "resident kB", "threads", "files"))
    for i, (at, track, rss, threads, files) in enumerate(rounds):
        if i < 3 or i % max(1, len(rounds) // 6) == 0 or i == len(rounds) - 1:
            print("%8.2f h %6d %12d %8d %6d" % (at, track, rss, threads, files))
    growth = slope([(x[0], x[2]) for x in rounds]) / 1024 if len(rounds) > 1 else float("nan")
    print("%-44s %+.3f MiB per simulated hour (target <= 1)" % ("memory growth after hour 1",
                                                                  growth))
    early = [x for x in samples if x[0] < 1]
    late = [x for x in samples if x[0] >= 1]
    print("%-44s at most %d threads and %d files in hour 1, %d and %d after" % (
        "resources at every track start", max(x[3] for x in early), max(x[4] for x in early),
        max(x[3] for x in late), max(x[4] for x in late)))
    print("%-44s %s" % ("identical output on the second render", "yes" if same else "NO"))
    steady = (max(x[3] for x in late) <= max(x[3] for x in early) and
              max(x[4] for x in late) <= max(x[4] for x in early))
    return 0 if same and growth <= 1 and steady else 1


if __name__ == "__main__":
    sys.exit(main())
