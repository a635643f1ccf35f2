#!/usr/bin/env bash
# Makes speech_lp.dss: a long-play DSS recording (compression id 2, G.723.1
# at 6.3 kbit/s) of espeak-ng speech, with frames from ffmpeg's G.723.1
# encoder, packed into the DSS layout here:
#   header block 1   self-id "dss", licensee 3, two header blocks, recording
#                    dates and times as digits, length "hhmmss"
#   header block 2   version 1, compression id 2 at offset 16 (and at 164,
#                    where FFmpeg's reader looks), length in ms
#   data blocks      six-byte block header (frame pointer word big-endian,
#                    0xFF, frames starting here, 0xFF, id 2), then 24-byte
#                    frames back to back across block borders; every block
#                    stored with its byte pairs swapped
# A stored frame is the encoder's packet with its byte pairs swapped, so the
# file's bytes carry each packet as the encoder wrote it.
# Needs espeak-ng, sox, ffmpeg and python3.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

espeak-ng -v en -s 150 -w "$work/speech.wav" \
  "Long play recording. The patient was seen in clinic today and is doing well."
sox "$work/speech.wav" -r 8000 -c 1 -b 16 "$work/speech8k.wav"
ffmpeg -v error -nostdin -y -i "$work/speech8k.wav" -c:a g723_1 -b:a 6300 -f g723_1 "$work/speech.tco"

python3 - "$work/speech.tco" speech_lp.dss <<'PY'
import struct, sys

packets = open(sys.argv[1], "rb").read()
frames = []
pos = 0
while pos < len(packets):
    kind = packets[pos] & 3
    size = {0: 24, 1: 20, 2: 4, 3: 1}[kind]
    if size != 24:
        sys.exit("the encoder wrote a frame of %d bytes; compression id 2 stores 24" % size)
    p = packets[pos:pos + 24]
    frames.append(bytes(p[i ^ 1] for i in range(24)))  # pair swap
    pos += 24

ms = len(frames) * 30
h1 = bytearray(b"\xff" * 512)
h1[0] = 2
h1[1:4] = b"dss"
h1[4:8] = struct.pack("<HH", 1, 1)
h1[8:12] = struct.pack("<I", 3)
h1[12:32] = bytes(20)
h1[32:38] = struct.pack("<HHH", 0xFFFE, 0xFFFE, 0xFFF7)
h1[38:62] = b"240611093000240611093010"
h1[62:68] = b"%02d%02d%02d" % (ms // 3600000, ms // 60000 % 60, ms // 1000 % 60)
h1[69] = 0

h2 = bytearray(b"\xff" * 512)
h2[0:16] = struct.pack("<HH", 1, 0) + bytes(12)
h2[16:18] = struct.pack("<H", 2)
h2[18:22] = struct.pack("<I", ms)
h2[22:424] = bytes(402)
# FFmpeg's DSS reader takes the codec from byte 164 of this block (inside
# the fifth text field, zero in our own files, which it reads as standard
# play): 2 names G.723.1 there too.
h2[164] = 2
h2[504:512] = bytes(8)

stream = b"".join(frames)
starts = [i * 24 for i in range(len(frames))]
payload = 506
blocks = []
for k in range((len(stream) + payload - 1) // payload):
    lo, hi = k * payload, (k + 1) * payload
    inside = [s for s in starts if lo <= s < hi]
    offset = 6 + (inside[0] - lo) if inside else 0
    word = offset * 128 + 15 if inside else 0xFFFF
    block = bytearray(512)
    block[0:2] = struct.pack(">H", word)
    block[2] = 0xFF
    block[3] = len(inside)
    block[4] = 0xFF
    block[5] = 2
    chunk = stream[lo:hi]
    block[6:6 + len(chunk)] = chunk
    blocks.append(bytes(block[i ^ 1] for i in range(512)))

with open(sys.argv[2], "wb") as out:
    out.write(h1 + h2 + b"".join(blocks))
print("%s: %d frames, %d ms, %d data blocks" % (sys.argv[2], len(frames), ms, len(blocks)))
PY
