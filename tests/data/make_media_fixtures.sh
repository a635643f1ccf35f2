#!/usr/bin/env bash
# Makes the MP3 and WMA fixtures of the media tests from espeak-ng speech
# ("Dictation for the ward round.", about 1.8 s) with ffmpeg:
#   speech_mono.mp3     16000 Hz mono, libmp3lame 24 kbit/s, no ID3v2 tag, no info frame
#   speech_stereo.mp3   22050 Hz stereo, libmp3lame 32 kbit/s with its info frame; the
#                       speech in the first channel, silence in the second
#   speech_header.mp3   speech_mono.mp3 with an ID3v2.3 tag written by mutagen: TIT2 and our
#                       private frame carrying dictation_header.bin (made by
#                       make_metadata_fixtures.sh; its header 3 holds two markers)
#   speech_mono.wma     16000 Hz mono, wmav2 24 kbit/s
#   speech_stereo.wma   16000 Hz stereo, wmav2 32 kbit/s; speech first, silence second
# Needs espeak-ng, ffmpeg and Debian's python3-mutagen (/usr/bin/python3).
set -euo pipefail
cd "$(dirname "$0")"

espeak-ng -v en -s 175 -w speech.tmp.wav "Dictation for the ward round."
common=(-v error -y -fflags +bitexact -i speech.tmp.wav -map_metadata -1)
ffmpeg "${common[@]}" -ar 16000 -ac 1 -c:a libmp3lame -b:a 24k -write_xing 0 -id3v2_version 0 \
  -flags +bitexact speech_mono.mp3
ffmpeg "${common[@]}" -af "pan=stereo|c0=c0|c1=0*c0" -ar 22050 -c:a libmp3lame -b:a 32k \
  -id3v2_version 0 -flags +bitexact speech_stereo.mp3
ffmpeg "${common[@]}" -ar 16000 -ac 1 -c:a wmav2 -b:a 24k -flags +bitexact speech_mono.wma
ffmpeg "${common[@]}" -af "pan=stereo|c0=c0|c1=0*c0" -ar 16000 -c:a wmav2 -b:a 32k \
  -flags +bitexact speech_stereo.wma
rm -f speech.tmp.wav

/usr/bin/python3 - <<'PY'
import shutil
from mutagen.id3 import ID3, PRIV, TIT2

OWNER = "https://orvane.example/dictation"
image = open("dictation_header.bin", "rb").read()
assert len(OWNER) == 32 and len(image) == 1536
shutil.copyfile("speech_mono.mp3", "speech_header.mp3")
tags = ID3()
tags.add(TIT2(encoding=3, text="Ward round"))
tags.add(PRIV(owner=OWNER, data=b"\0" + image))
tags.save("speech_header.mp3", v2_version=3, padding=lambda info: 64)
PY
