#!/usr/bin/env bash
# The main job, with output a person can check:
#   1. speech made by espeak-ng -> WAV -> DS2 in quality play -> orvkt info -> back to WAV
#   2. the same speech -> DSS in standard play, which ffmpeg's own DSS reader decodes
#   3. a long-play DSS recording (G.723.1 frames from ffmpeg's encoder, packed into the
#      DSS layout by tests/data/make_lp_dss.sh) decoded to WAV, compared with ffmpeg's
#      decoding of the same file
# Durations and formats are printed by orvkt and, independently, by sox and ffprobe.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
echo "== building orvkt (the first build compiles the whole library)"
cmake --build --preset default --target orvkt -j "$(nproc 2>/dev/null || echo 2)"
orvkt=$PWD/build/orvkt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/data/speech_lp.dss "$work/"
cd "$work"

describe() {  # what sox sees in a WAV file
  printf '   sox reads %s: %s Hz, %s-bit, %s channel(s), %s samples, %s\n' "$(basename "$1")" \
    "$(sox --i -r "$1")" "$(sox --i -b "$1")" "$(sox --i -c "$1")" "$(sox --i -s "$1")" "$(sox --i -d "$1")"
}

echo "== 1. espeak-ng speech -> WAV -> DS2 (quality play) -> WAV"
espeak-ng -v en -s 150 -w "speech.wav" \
  "This is a dictation for the demo. The patient was seen today and is doing well. Please type it by Friday."
describe "speech.wav"
echo "\$ orvkt convert speech.wav memo.ds2 --format qp"
"$orvkt" convert "speech.wav" "memo.ds2" --format qp
echo "\$ orvkt info memo.ds2"
"$orvkt" info "memo.ds2" | sed 's/^/   /'
echo "\$ orvkt convert memo.ds2 memo.wav"
"$orvkt" convert "memo.ds2" "memo.wav"
describe "memo.wav"

echo
echo "== 2. the same speech -> DSS (standard play), read back by ffmpeg"
echo "\$ orvkt convert speech.wav memo.dss"
"$orvkt" convert "speech.wav" "memo.dss"
printf '   ffprobe reads memo.dss: %s\n' \
  "$(ffprobe -v error -show_entries stream=codec_name,duration -of compact=p=0 "memo.dss")"

echo
echo "== 3. a long-play DSS recording (G.723.1) -> WAV"
lp=speech_lp.dss
echo "\$ orvkt info $lp"
"$orvkt" info "$lp" | sed -n '1,4p' | sed 's/^/   /'
echo "\$ orvkt convert $lp lp.wav"
"$orvkt" convert "$lp" "lp.wav"
describe "lp.wav"
ffmpeg -nostdin -v error -i "$lp" -f s16le -acodec pcm_s16le "ffmpeg.raw"
sox "lp.wav" -t raw "ours.raw"
ours=$(stat -c %s "ours.raw")
if cmp -s -n "$ours" "ours.raw" "ffmpeg.raw"; then
  echo "   the $((ours / 2)) samples equal ffmpeg's own decoding of $lp"
else
  echo "   the samples differ from ffmpeg's decoding of $lp" >&2
  exit 1
fi
