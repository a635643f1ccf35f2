#!/usr/bin/python3
"""Writes the wav_conversion seeds next to this script: hand-laid WAV files of
several rates, widths and chunks, and the four that once crashed or exhausted the
conversion (huge byte rates and fmt sizes)."""
import math
import os
import random
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "wav_conversion")


def chunk(cid, body):
    return cid + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")


def fmt(tag=1, channels=1, rate=16000, bits=16, avg=None, align=None, extra=None):
    align = align if align is not None else channels * bits // 8
    avg = avg if avg is not None else rate * align
    body = struct.pack("<HHIIHH", tag, channels, rate, avg, align, bits)
    if extra is not None:
        body += struct.pack("<H", len(extra)) + extra
    return body


def tone(rate, seconds, bits=16, channels=1):
    out = bytearray()
    for i in range(int(rate * seconds)):
        v = int(9000 * math.sin(2 * math.pi * 440 * i / rate))
        for _ in range(channels):
            out += struct.pack("<h", v) if bits == 16 else bytes([(v >> 8) + 128])
    return bytes(out)


def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def cue(byte):
    return chunk(b"cue ", struct.pack("<II", 1, 1) + struct.pack("<I", 0) + b"data" + struct.pack("<III", 0, byte, 0))


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


os.makedirs(OUT, exist_ok=True)
random.seed(7)
info = chunk(b"LIST", b"INFO" + chunk(b"ICMT", b"note") + chunk(b"ISRF", b"hist"))
write("pcm16k_cue_list.wav", riff(chunk(b"fmt ", fmt()), chunk(b"data", tone(16000, 0.25)), cue(4002), info))
write("pcm44k_cue.wav", riff(chunk(b"fmt ", fmt(rate=44100)), chunk(b"data", tone(44100, 0.1)), cue(2001)))
write("pcm8k_8bit.wav", riff(chunk(b"fmt ", fmt(rate=8000, bits=8)), chunk(b"data", tone(8000, 0.25, bits=8))))
write("stereo22k.wav", riff(chunk(b"fmt ", fmt(rate=22050, channels=2)), chunk(b"data", tone(22050, 0.1, channels=2))))
sp = bytes(random.randrange(256) for _ in range(42 * 20))
write("sp_frames.wav", riff(chunk(b"fmt ", fmt(tag=0x0121, rate=12000, bits=0, avg=1750, align=42, extra=b"")),
                            chunk(b"data", sp)))
labels = chunk(b"LIST", b"adtl" + chunk(b"labl", struct.pack("<I", 1) + b"label"))
write("labels_then_info.wav", riff(chunk(b"fmt ", fmt()), chunk(b"data", tone(16000, 0.1)), labels, info))
short = riff(chunk(b"fmt ", fmt()), chunk(b"data", tone(16000, 0.2)))
write("data_claims_more.wav", short[:40] + struct.pack("<I", 640000) + short[44:])
pcm32k = tone(16000, 1.024)
for name, avg in (("rate_7fffffff.wav", 0x7FFFFFFF), ("rate_fffffff0.wav", 0xFFFFFFF0)):
    write(name, riff(chunk(b"fmt ", fmt(avg=avg)), chunk(b"data", pcm32k)))
for name, size in (("fmt_size_fffffff0.wav", 0xFFFFFFF0), ("fmt_size_ffffffff.wav", 0xFFFFFFFF)):
    whole = riff(chunk(b"fmt ", fmt()), chunk(b"data", pcm32k))
    write(name, whole[:16] + struct.pack("<I", size) + whole[20:])
