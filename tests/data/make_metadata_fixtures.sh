#!/usr/bin/env bash
# Makes the metadata fixtures of the WAV/MP3 tests with independent tools:
#   dictation_header.bin   a hand-laid 1536-byte header image (DS2, licensee 3, 3 header blocks)
#   dictation_v23.mp3      ID3v2.3 tag by mutagen: TIT2, our private frame with that image, a foreign PRIV
#   dictation_v24.mp3      ID3v2.4 tag by mutagen with our private frame (frame sizes in 7-bit groups)
#   no_priv.mp3            ID3v2.3 tag by mutagen with TIT2 only
#   ffmpeg_comment.wav     16-bit mono WAV by ffmpeg with LIST/INFO (ICMT comment, ISFT) before data
# Needs ffmpeg and Debian's python3-mutagen (/usr/bin/python3).
set -euo pipefail
cd "$(dirname "$0")"

ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=1" -ac 1 \
  -c:a libmp3lame -b:a 16k -write_xing 0 -id3v2_version 0 plain.tmp.mp3
ffmpeg -v error -y -f lavfi -i "sine=frequency=330:sample_rate=8000:duration=0.5" -ac 1 \
  -c:a pcm_s16le -metadata comment="Recorded on the ward round" -fflags +bitexact ffmpeg_comment.wav

/usr/bin/python3 - <<'PY'
import shutil, struct
from mutagen.id3 import ID3, PRIV, TIT2

OWNER = "https://orvane.example/dictation"
assert len(OWNER) == 32

def h1():
    b = bytearray(b"\xff" * 512)
    b[0] = 3
    b[1:4] = b"ds2"
    b[4:8] = struct.pack("<HH", 2, 3)
    b[8:12] = struct.pack("<I", 3)
    b[12:28] = b"Dr. Example".ljust(16, b"\0")
    b[28:32] = struct.pack("<I", 0x01020304)
    b[32:34] = struct.pack("<H", 0xFFFE)
    b[34:36] = struct.pack("<H", 0xFFFE)
    b[36:38] = struct.pack("<H", 0xFFF7)
    b[38:68] = b"250102" b"093000" b"250102" b"094512" b"000130"
    b[69] = 5
    b[326:328] = struct.pack("<H", 0xFFFF)
    return b

def h2():
    b = bytearray(512)
    b[0:2] = struct.pack("<H", 1)
    b[16:18] = struct.pack("<H", 6)
    b[18:22] = struct.pack("<I", 90000)
    b[22:34] = b"250103" b"101010"
    # first text field in the OEM code page (CP850): 0x81 is u-umlaut
    b[34:64] = b"Typist M\x81ller".ljust(30, b"\0")
    b[64:94] = b"Cardiology".ljust(30, b"\0")
    b[364:424] = b"\xff" * 60
    b[424:504] = b"\xff" * 80
    return b

def h3():
    b = bytearray(b"\xff" * 512)
    b[0:16] = struct.pack("<IIII", 1000, 2500, 5000, 6000)
    return b

image = bytes(h1() + h2() + h3())
assert len(image) == 1536
open("dictation_header.bin", "wb").write(image)

for name, version, frames in (
    ("dictation_v23.mp3", 3, [TIT2(encoding=3, text="Dictation"), PRIV(owner=OWNER, data=b"\0" + image),
                              PRIV(owner="http://example.com/other", data=b"\1\2\3")]),
    ("dictation_v24.mp3", 4, [PRIV(owner=OWNER, data=b"\0" + image)]),
    ("no_priv.mp3", 3, [TIT2(encoding=3, text="No header")]),
):
    shutil.copyfile("plain.tmp.mp3", name)
    tags = ID3()
    for f in frames:
        tags.add(f)
    tags.save(name, v2_version=version, padding=lambda info: 32)
PY
rm -f plain.tmp.mp3
