#!/usr/bin/env python3
"""Writes the small seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Every seed is made here from plain bytes, so the corpora can be rebuilt and reviewed."""
import os
import struct
import sys

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus")


def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def frame(fid, body, version=3, flags=b"\0\0"):
    size = synchsafe(len(body)) if version == 4 else struct.pack(">I", len(body))
    return fid + size + flags + body


def frame22(fid, body):
    return fid + struct.pack(">I", len(body))[1:] + body


def tag(frames, padding=0, version=3, flags=0, size=None):
    size = len(frames) + padding if size is None else size
    return b"ID3" + bytes([version, 0, flags]) + synchsafe(size) + frames + b"\0" * padding


def id3v1(title, artist, album, year, comment, genre, pad=b" "):
    def field(text, width):
        return text[:width].ljust(width, pad)
    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4)
            + field(comment, 30) + bytes([genre]))


seeds = {
    "id3v1": {
        "spaces": b"\xff\xfb\x90\x00" * 8 + id3v1(b"Song", b"Band", b"Disc", b"1999", b"Hi", 17),
        "nuls": id3v1(b"Song", b"", b"", b"", b"", 0, b"\0"),
        "cp1252": id3v1(b"Caf\xe9 \x80\x93", b"\x9c", b"", b"2001", b"", 147),
        "short": b"TAG",
    },
    "id3v2": {
        "v23": tag(frame(b"TIT2", b"\0Song") + frame(b"TPE1", b"\0Band")
                   + frame(b"COMM", b"\0eng\0Hi") + frame(b"TYER", b"\x001999"), 16),
        "v23-utf16": tag(frame(b"TIT2", b"\x01\xff\xfeS\0o\0n\0g\0\0\0")
                         + frame(b"COMM", b"\x01eng\xff\xfe\0\0\xff\xfeh\0i\0")),
        "v24": tag(frame(b"TIT2", b"\x03Bj\xc3\xb6rk", 4)
                   + frame(b"TDRC", b"\x002001", 4)
                   + frame(b"TALB", b"\0\0\0\x03\0\xff\0A", 4, b"\0\x03"), 8, 4),
        "v22": tag(frame22(b"TT2", b"\0Old") + frame22(b"TP1", b"\0Timer"), 0, 2),
        "unsync": tag(frame(b"TIT2", b"\0\xff\0A"), 0, 3, 0x80),
        "ext": tag(struct.pack(">I", 6) + b"\0" * 6 + frame(b"TIT2", b"\0X"), 0, 3, 0x40),
        "zero-size": tag(frame(b"TIT2", b"\0Zero"), 0, 3, 0, 0),
        "huge-size": tag(frame(b"TALB", b"\0Disc"), 0, 3, 0, 0x0FFFFFFF),
    },
    "filename": {
        "dash": b"/music/Artist - Album - 01 - Title.mp3",
        "paren": b"/music/(Artist) Title - Album.mp3",
        "fallback": b"/music/Some Band/Artist - Title.mp3",
        "underscore": b"/a/b/Track_One.mp3",
        "open-paren": b"(Artist - 01 - Song.mp3",
        "root": b"/01 - Title.mp3",
    },
    "wma": {
        "full": b"Title:Song\0Author:Band\0WM/AlbumTitle:Disc\0WM/Year:2004\0"
                b"Copyright:Me\0WM/Genre:Pop\0\0",
        "title-only": b"Title:\xc3\x89t\xc3\xa9\0\0",
        "odd": b"x\0nocolon\0 author :Band\0:\0\0",
    },
    "m3u": {
        "mixed": b"/music/a.mp3\r\n/music/caf\xe9.mp3\r\n  /m/b \xc3\xa9.wav  \r\n"
                 b"#EXTINF:1,x\r\nlast",
        "lf-only": b"a.mp3\nb.mp3\n",
        "empty-lines": b"\r\n\r\n\r",
        "cut-utf8": b"/m/\xf0\x9f\x8e\r\n/m/\xed\xa0\x80\r\n",
    },
    "readnumber": {
        "rate": b"44100",
        "signed": b"-1.25abc",
        "absent": b"Not Found",
        "periods": b"1.2.3",
        "plus": b"+.5",
    },
}

seeds["session"] = {
    "set": b"# a short set\n0 load left /m/a.mp3\n0.5 click playCB2\n1.25 set LpitchScroll 1150\n"
           b"2 down LpBend_PlusCB\n2.4 up LpBend_PlusCB\n3 key X shift\n3.1 keyup X shift\n"
           b"4 click speedCB 1\n5 down playCB2 right\n9 end\n",
    "bad": b"1 click\nx load middle a\n-1 set crossFaderScroll 1e99\n",
}
seeds["settings"] = {
    "machine": b"[SOFTWARE]\n"
               b"Quelmara\\Kelvra\\Settings\\pitchRange=1.5\nBuffer=0.4\ninitQuality=CD\n",
    "broken": b"[General\n=\\\n\xff\xfe[x]]\nkey=\"unterminated\n",
}


def media_seeds():
    """Tiny songs made by ffmpeg (when it is installed): the decoders' headers as they are."""
    import shutil
    import subprocess
    import tempfile
    if not shutil.which("ffmpeg"):
        return {}
    made = {}
    tone = ["-f", "lavfi", "-i", "sine=frequency=440:duration=0.3:sample_rate=8000"]
    kinds = {
        "cbr.mp3": ["-c:a", "libmp3lame", "-b:a", "32k"],
        "vbr.mp3": ["-c:a", "libmp3lame", "-q:a", "9"],
        "pcm.wav": ["-c:a", "pcm_s16le", "-t", "0.05"],
        "song.wma": ["-c:a", "wmav2", "-b:a", "32k"],
    }
    with tempfile.TemporaryDirectory() as work:
        for name, codec in kinds.items():
            out = os.path.join(work, name)
            subprocess.run(["ffmpeg", "-loglevel", "error", "-y", *tone, "-ac", "1", *codec,
                            "-map_metadata", "-1", "-fflags", "+bitexact", out], check=True)
            with open(out, "rb") as f:
                made[name] = f.read()
    return made


media = media_seeds()
heads = {name: data[:4096] for name, data in media.items()}
seeds["open"] = media
seeds["mp3index"] = {k: v for k, v in media.items() if k.endswith(".mp3")}
seeds["asf"] = {k: v[:8192] for k, v in media.items() if k.endswith(".wma")}
seeds["sniff"] = {**heads, "empty": b"", "text": b"#EXTM3U\n/a.mp3\n"}

def hostile_seeds():
    """Small files whose headers lie, from the hostile-media corpus's own generators."""
    import importlib.util
    found = importlib.util.spec_from_file_location(
        "hostile", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "make-hostile-media.py"))
    hostile = importlib.util.module_from_spec(found)
    found.loader.exec_module(hostile)
    data = hostile.pcm(200)
    fmt = hostile.chunk(b"fmt ", hostile.fmt_body())
    return {
        "rf64-huge.wav": hostile.rf64(1 << 62, 1 << 62, data),
        "wav-data-huge.wav": hostile.riff(fmt + hostile.chunk(b"data", data, 0x7FFFFFF0)),
        "wav-list-huge.wav": hostile.riff(
            fmt + hostile.chunk(b"LIST", b"INFO" + hostile.chunk(b"INAM", b"x" * 20, 0x7FFFFF00),
                                0x7FFFFFF0) + hostile.chunk(b"data", data)),
        "flac-huge.flac": hostile.flac((1 << 36) - 1, frames=3),
        "mp3-xing-huge.mp3": hostile.mp3(0xFFFFFFFF, frames=4),
    }


lying = hostile_seeds()
seeds["analyse"] = {**media, **lying}
seeds["riffchunks"] = {**{k: v for k, v in lying.items() if k.endswith(".wav")},
                       **{k: v[:4096] for k, v in media.items() if k.endswith(".wav")}}

for target, files in seeds.items():
    folder = os.path.join(root, target)
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
print("seeds written to", os.path.normpath(root), file=sys.stderr)
