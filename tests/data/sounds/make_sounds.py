#!/usr/bin/env python3
"""Writes the WAVE test files of this folder. sox makes a short tone (tone.wav) and, from it, the
bare samples (tone.raw); this script then inserts chunks between "fmt " and "data" as other
writers do, so that none of the files comes from the loader under test:

  tone.wav           sox's own file: "fmt " directly followed by "data"
  odd_padded.wav     a LIST chunk of odd size followed by its pad byte (the RIFF rule)
  odd_unpadded.wav   the same LIST chunk without the pad byte (writers that omit it)
  two_odd_padded.wav two odd chunks, each padded: only the padded walk finds "data"
  even.wav           a LIST chunk of even size (no pad byte either way)
  truncated.wav      odd_padded.wav cut in the middle of its samples

A loader must take every file but truncated.wav, and find in each exactly the samples of tone.raw.

Run from anywhere: python3 make_sounds.py  (needs sox; writes next to itself).
"""
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))


def path(name):
    return os.path.join(HERE, name)


def chunks(data):
    """(tag, body) of every chunk of a RIFF file written with pad bytes."""
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE"
    out, pos = [], 12
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        out.append((tag, data[pos + 8:pos + 8 + size]))
        pos += 8 + size + (size & 1)
    return out


def riff(parts):
    body = b"WAVE" + b"".join(parts)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def chunk(tag, body, pad=True):
    return tag + struct.pack("<I", len(body)) + body + (b"\0" if pad and len(body) % 2 else b"")


def info_list(text):
    """A LIST/INFO chunk body holding one comment (ICMT) of the given text, NUL-terminated."""
    comment = text.encode("ascii") + b"\0"
    return b"INFO" + chunk(b"ICMT", comment)


def main():
    # 16-bit mono at 22050 Hz, 10 ms of a 440 Hz tone; no dither, so every run gives the same bytes.
    subprocess.run(["sox", "-D", "-n", "-r", "22050", "-c", "1", "-b", "16", "-e", "signed-integer",
                    path("tone.wav"), "synth", "0.01", "sine", "440", "vol", "0.5"], check=True)
    subprocess.run(["sox", "-D", path("tone.wav"), "-t", "raw", path("tone.raw")], check=True)
    with open(path("tone.wav"), "rb") as f:
        tone = f.read()
    parts = dict(chunks(tone))
    fmt, samples = parts[b"fmt "], parts[b"data"]

    odd = info_list("tarn at night")   # 4 + 8 + 14 = 26 bytes: the comment's pad makes it even
    odd = odd + b"!"                   # one loose byte more: 27, an odd chunk size
    assert len(odd) % 2 == 1
    even = info_list("moonlit")        # 4 + 8 + 8 = 20
    assert len(even) % 2 == 0
    files = {
        "tone.wav": tone,
        "odd_padded.wav": riff([chunk(b"fmt ", fmt), chunk(b"LIST", odd), chunk(b"data", samples)]),
        "odd_unpadded.wav": riff([chunk(b"fmt ", fmt), chunk(b"LIST", odd, pad=False), chunk(b"data", samples)]),
        "two_odd_padded.wav": riff([chunk(b"fmt ", fmt), chunk(b"LIST", odd), chunk(b"junk", b"abc"),
                                    chunk(b"data", samples)]),
        "even.wav": riff([chunk(b"fmt ", fmt), chunk(b"LIST", even), chunk(b"data", samples)]),
    }
    padded = files["odd_padded.wav"]
    files["truncated.wav"] = padded[:len(padded) - len(samples) // 2]
    for name, data in files.items():
        with open(path(name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
