#!/usr/bin/env python3
"""Runs every kelvra-cli command over each file of the hostile-media corpus
(tools/make-hostile-media.py) and checks that each either succeeds or fails with a message that
names the file, within a CPU-time and memory budget. Offenders are listed one per line.

usage: run-hostile-media.py [--budget-scale N] KELVRA_CLI [CORPUS_FOLDER]
Without a corpus folder one is made in a temporary folder. --budget-scale multiplies the time
and memory budgets (a sanitizer build is several times slower and larger).
"""
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CPU_SECONDS = 2.0  # user + system time of one command
MEMORY_MB = 300  # peak resident memory of one command
HANG_SECONDS = 20  # wall-clock time after which a command counts as hung and is killed


def limits():
    # A runaway command is stopped by the system too, not only reported.
    cpu = int(HANG_SECONDS * 1.5)
    resource.setrlimit(resource.RLIMIT_CPU, (cpu, cpu))
    resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 30, 1 << 30))


def run(command, env):
    """(exit status, output, cpu seconds, peak MB, wall seconds, hung)."""
    started = time.monotonic()
    with tempfile.TemporaryFile() as output:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=output,
                                   stderr=subprocess.STDOUT, env=env, preexec_fn=limits,
                                   start_new_session=True)
        hung = False
        while True:
            pid, status, usage = os.wait4(process.pid, os.WNOHANG)
            if pid != 0:
                break
            if time.monotonic() - started > HANG_SECONDS:
                hung = True
                os.killpg(process.pid, signal.SIGKILL)
                pid, status, usage = os.wait4(process.pid, 0)
                break
            time.sleep(0.01)
        process.returncode = os.waitstatus_to_exitcode(status)
        output.seek(0)
        text = output.read().decode("utf-8", "replace")
    cpu = usage.ru_utime + usage.ru_stime
    return (process.returncode, text, cpu, usage.ru_maxrss / 1024, time.monotonic() - started,
            hung)


def main():
    global CPU_SECONDS, MEMORY_MB, HANG_SECONDS
    args = sys.argv[1:]
    if len(args) >= 2 and args[0] == "--budget-scale":
        scale = float(args[1])
        CPU_SECONDS, MEMORY_MB, HANG_SECONDS = (CPU_SECONDS * scale, MEMORY_MB * scale,
                                                HANG_SECONDS * scale)
        args = args[2:]
    if len(args) not in (1, 2):
        sys.exit("usage: run-hostile-media.py [--budget-scale N] KELVRA_CLI [CORPUS_FOLDER]")
    cli = os.path.abspath(args[0])
    work = tempfile.mkdtemp(prefix="kelvra-hostile-")
    try:
        corpus = args[1] if len(args) == 2 else os.path.join(work, "corpus")
        if len(args) == 1:
            maker = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                 "make-hostile-media.py")
            subprocess.run([sys.executable, maker, corpus], check=True)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", KELVRA_AUDIO="null",
                   XDG_CACHE_HOME=os.path.join(work, "cache"),
                   KELVRA_CONFIG_DIR=os.path.join(work, "config"))
        os.makedirs(env["KELVRA_CONFIG_DIR"], exist_ok=True)
        out = os.path.join(work, "out.wav")
        offenders = []
        checked = 0
        for name in sorted(os.listdir(corpus)):
            path = os.path.join(corpus, name)
            script = os.path.join(work, name + ".session")
            with open(script, "w", encoding="utf-8", errors="surrogateescape") as text:
                text.write(f"0.5 load left {path}\n1 click playCB2\n3 end\n")
            playlist = os.path.join(work, name + ".m3u")
            with open(playlist, "wb") as text:
                text.write(os.fsencode(path) + b"\r\n")
            linked = os.path.join(work, name + ".linked.m3u")
            if not os.path.lexists(linked):
                os.symlink(path, linked)
            # Each command, and the names a message of it may give for this file.
            commands = [
                (["probe", path], [path]),
                (["render", path, "--out", out], [path]),
                (["analyse", path], [path]),
                (["session", script, "--out", out, "--seconds", "5"], [path, script]),
                (["session", path, "--out", out, "--seconds", "5"], [path]),
                (["automix", playlist, "--out", out], [path, playlist]),
                (["tags", path], [path]),
                (["id3v1", path], [path]),
                (["playlist", path], [path]),
                (["playlist", linked], [linked, path]),
            ]
            for args, names in commands:
                checked += 1
                status, text, cpu, memory, wall, hung = run([cli] + args, env)
                label = "kelvra-cli " + " ".join(args)
                problems = []
                if hung:
                    problems.append(f"hung, killed after {wall:.0f} s")
                elif status < 0:
                    problems.append(f"killed by signal {-status}")
                if cpu > CPU_SECONDS:
                    problems.append(f"{cpu:.2f} s of CPU (budget {CPU_SECONDS:g} s)")
                if memory > MEMORY_MB:
                    problems.append(f"{memory:.0f} MB (budget {MEMORY_MB} MB)")
                if status > 0 and not any(n in text or os.path.basename(n) in text
                                          for n in names):
                    problems.append(f"exit {status} without naming the file: {text.strip()!r}")
                if problems:
                    offenders.append(f"{label}: " + "; ".join(problems))
        for line in offenders:
            print("OFFENDER " + line)
        print(f"hostile media: {checked} runs, {len(offenders)} offenders")
        return 1 if offenders else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
