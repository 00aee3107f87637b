#!/usr/bin/env python3
"""Writes a corpus of hostile media into a folder: files whose headers lie about their length,
chunks larger than the file, truncated headers, and paths that are no regular file (a FIFO, links
to /dev/zero and /dev/null, a folder named like a song, an empty file). Each is small; every
kelvra-cli command must refuse it clearly or handle it, quickly and in little memory
(tools/run-hostile-media.py checks that).

usage: make-hostile-media.py FOLDER
"""
import os
import struct
import sys

RATE = 44100


def le32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def chunk(cid, body, stated=None):
    size = len(body) if stated is None else stated
    return cid + le32(size) + body + (b"\0" if len(body) % 2 else b"")


def fmt_body(channels=2, bits=16):
    align = channels * bits // 8
    return struct.pack("<HHIIHH", 1, channels & 0xFFFF, RATE, (RATE * align) & 0xFFFFFFFF,
                       align & 0xFFFF, bits)


def pcm(frames, channels=2):
    one = b"".join(struct.pack("<h", (i % 200) * 100 - 10000) for i in range(200))
    total = frames * channels * 2
    return (one * (total // len(one) + 1))[:total]


def riff(chunks):
    return b"RIFF" + le32(len(chunks) + 4) + b"WAVE" + chunks


def rf64(data_size, sample_count, data):
    ds64 = struct.pack("<QQQI", 0, data_size, sample_count, 0)
    body = (b"WAVE" + chunk(b"ds64", ds64) + chunk(b"fmt ", fmt_body()) +
            chunk(b"data", data, 0xFFFFFFFF))
    return b"RF64" + le32(0xFFFFFFFF) + body


def crc8(data):
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = ((crc << 1) ^ 0x07) & 0xFF if crc & 0x80 else (crc << 1) & 0xFF
    return crc


def crc16(data):
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x8005) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
    return crc


def flac(total_samples, frames=60):
    """A stereo 16-bit FLAC of `frames` blocks of 4096 samples, each channel a constant value,
    whose STREAMINFO states `total_samples`."""
    block = 4096
    info = struct.pack(">HH", block, block) + b"\0\0\0" + b"\0\0\0"
    # 20 bits rate, 3 bits channels-1, 5 bits bits-1, 36 bits total samples.
    packed = (RATE << 44) | (1 << 41) | (15 << 36) | (total_samples & ((1 << 36) - 1))
    info += packed.to_bytes(8, "big") + b"\0" * 16
    out = b"fLaC" + bytes([0x80]) + len(info).to_bytes(3, "big") + info
    for number in range(frames):
        # Fixed block size, 4096 samples (code 12), 44.1 kHz (code 9), two independent channels,
        # 16 bits; the frame number as one UTF-8 byte.
        header = bytes([0xFF, 0xF8, 0xC9, 0x18, number])
        header += bytes([crc8(header)])
        sub = b"\x00" + struct.pack(">h", 1000) + b"\x00" + struct.pack(">h", -1000)
        body = header + sub
        out += body + struct.pack(">H", crc16(body))
    return out


def mp3(xing_frames, frames=80):
    """MPEG-1 Layer III frames of silence (128 kbit/s, 44.1 kHz, stereo) after a Xing frame
    claiming `xing_frames` frames."""
    header = b"\xFF\xFB\x90\x00"
    size = 417
    xing = bytearray(header + b"\0" * (size - 4))
    xing[36:44] = b"Xing" + struct.pack(">I", 1)
    xing[44:48] = struct.pack(">I", xing_frames & 0xFFFFFFFF)
    return bytes(xing) + (header + b"\0" * (size - 4)) * frames


def id3v2_claiming(size):
    synchsafe = bytes([(size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F])
    return b"ID3\x03\x00\x00" + synchsafe


def files():
    data = pcm(RATE)  # a second of audio
    fmt = chunk(b"fmt ", fmt_body())
    huge_list = chunk(b"LIST", b"INFO" + chunk(b"INAM", b"x" * 900, 0x7FFFFF00), 0x7FFFFFF0)
    return {
        # Lengths that lie.
        "rf64-ds64-huge.wav": rf64(1 << 62, 1 << 62, data),
        "rf64-frames-huge.wav": rf64(len(data), 1 << 62, data),
        "wav-data-huge.wav": riff(fmt + chunk(b"data", data, 0x7FFFFFF0)),
        "flac-total-huge.flac": flac((1 << 36) - 1),
        "mp3-xing-huge.mp3": mp3(0xFFFFFFFF),
        # Chunks larger than the file.
        "wav-list-huge.wav": riff(huge_list),
        "wav-list-before-audio.wav": riff(huge_list + fmt + chunk(b"data", data)),
        "wav-list-after-audio.wav": riff(fmt + chunk(b"data", data) + huge_list),
        "wav-fmt-huge.wav": riff(chunk(b"fmt ", fmt_body(), 0x7FFFFFF0)),
        "wav-channels-65535.wav": riff(chunk(b"fmt ", fmt_body(65535)) + chunk(b"data", data)),
        "id3v2-huge.mp3": id3v2_claiming(0x0FFFFFFF) + b"\0" * 100,
        # Truncated headers.
        "riff-truncated.wav": b"RIFF\x10\0",
        "rf64-truncated.wav": b"RF64\xFF\xFF\xFF\xFFWAVEds64",
        "wav-fmt-truncated.wav": riff(b"fmt \x10\0\0\0\x01\0"),
        "flac-truncated.flac": flac(RATE)[:20],
        "mp3-truncated.mp3": mp3(10, 1)[:200],
        "asf-truncated.wma": bytes.fromhex("3026B2758E66CF11A6D900AA0062CE6C") + b"\xFF" * 8,
        "empty.mp3": b"",
    }


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, content in files().items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(content)
    specials = {
        "fifo.mp3": lambda p: os.mkfifo(p),
        "dev-zero.mp3": lambda p: os.symlink("/dev/zero", p),
        "dev-null.wav": lambda p: os.symlink("/dev/null", p),
        "folder.mp3": lambda p: os.mkdir(p),
    }
    for name, make in specials.items():
        path = os.path.join(folder, name)
        if not os.path.lexists(path):
            make(path)


if __name__ == "__main__":
    main()
