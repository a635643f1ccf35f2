#!/usr/bin/env bash
# Byte-for-byte fingerprint of what orvkt writes.
#
#   scripts/corpus_hashes.sh [BUILD_DIR] [TRACE_OUT]
#
# Builds nothing. Makes a fixed corpus in a temporary folder (espeak-ng
# speech at a fixed voice, rate and text; sox tones; the fixtures of
# tests/data), runs BUILD_DIR/orvkt (default ./build/orvkt) over it -
# conversions in every direction, splits, joins, index repair, encryption
# and decryption, copies, header and marker edits, stereo tools, separation,
# templates - and prints one line per output: "<name> <sha256>". A call's
# exit status is printed as "<call>.rc <status>", and printed text (header
# get, markers get, info) is hashed like a file.
#
# Outputs that carry a stamp of the moment or a random salt are hashed in a
# normalised form, so that two runs of one build print the same lines:
#   - a DSS file made from a WAV file without recording times takes its start
#     date and time from the WAV file's creation (birth) time: header 1 bytes
#     38-49 are set to fixed digits right after the conversion (the end time
#     comes from the modification time, which touch fixes);
#   - a copy made without --write-through gets the date and time of the copy
#     in header 2 (bytes 22-33 of the header image, wherever the image lives);
#   - encrypted files get a random salt and random block tails: they are
#     compared after decryption, with bytes 502-511 of every data block
#     (the tail the encryption fills) zeroed; where a salt and check value
#     stay (header 1 bytes 328-347 of a password-protected template, or of
#     the header image a WAV file takes from an encrypted recording) they
#     are zeroed.
#
# With TRACE_OUT every call runs with the trace log on (XKRVLOG_FILE) and the
# log goes into TRACE_OUT, call by call, with time stamps, line numbers and
# addresses replaced, so that two builds can be compared line for line.
#
# Every call writes to a fresh name (header copy, markers extract and the
# in-place separation write into an existing file because that is what they
# do) and takes no flags beyond the ones each subcommand had from the start.
# The corpus depends on the installed espeak-ng and sox: compare runs made on
# one machine. CORPUS_TIMING=1 prints each call's time on stderr. Needs
# espeak-ng, sox, perl, sha256sum.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
trace_out=${2:-}
orvkt=$(cd "$build" && pwd)/orvkt
[[ -x $orvkt ]] || { echo "corpus_hashes: no orvkt in $build (build it first)" >&2; exit 2; }
for tool in espeak-ng sox perl sha256sum; do
  command -v "$tool" >/dev/null || { echo "corpus_hashes: $tool is missing" >&2; exit 2; }
done
if [[ -n $trace_out ]]; then
  mkdir -p "$(dirname "$trace_out")"
  trace_out=$(cd "$(dirname "$trace_out")" && pwd)/$(basename "$trace_out")
  : >"$trace_out"
fi

# Dates in headers come from local time: one zone for every run.
export TZ=UTC LC_ALL=C
unset XKRVLOG_FILE

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
data=$root/tests/data

# ---- helpers -------------------------------------------------------------------

# The normalisations: norm.pl MODES FILE writes the file's normalised bytes
# to stdout; norm.pl start FILE rewrites the file itself.
cat >norm.pl <<'PL'
use strict;
use warnings;
my ($modes, $name) = @ARGV;
open(my $in, "<:raw", $name) or die "$name: $!";
local $/;
my $b = <$in>;
close $in;
# Where the header image starts: the file itself for DSS/DS2, the private
# frame's body for MP3, the ICMT chunk's data for WAV; -1 without one.
sub image_start {
    if ($name =~ /\.ds[s2]$/i) { return 0; }
    if ($name =~ /\.mp3$/i) {
        my $at = index($b, "https://orvane.example/dictation\0");
        return $at < 0 ? -1 : $at + 34;
    }
    my $at = index($b, "ICMT");
    return $at < 0 ? -1 : $at + 8;
}
for my $mode (split /,/, $modes) {
    if ($mode eq "start") {
        substr($b, 38, 12) = "240611093000";
    } elsif ($mode eq "h2stamp") {
        my $at = image_start();
        substr($b, $at + 534, 12) = "\0" x 12 if $at >= 0 && length($b) >= $at + 546;
    } elsif ($mode eq "tails") {
        for (my $block = ord(substr($b, 0, 1)) * 512; $block + 512 <= length($b); $block += 512) {
            substr($b, $block + 502, 10) = "\0" x 10;
        }
    } elsif ($mode eq "salt") {
        my $at = image_start();
        substr($b, $at + 328, 20) = "\0" x 20 if $at >= 0 && length($b) >= $at + 348;
    } else {
        die "unknown mode $mode";
    }
}
my $out = \*STDOUT;
if ($modes eq "start") { open($out, ">:raw", $name) or die "$name: $!"; }
binmode $out;
print $out $b;
PL

calls=0
# run NAME ARGS...: one orvkt call; its status is printed, its stdout kept in
# NAME.out, its trace (with TRACE_OUT) appended in normalised form.
run() {
  local name=$1
  shift
  calls=$((calls + 1))
  local log=
  [[ -n $trace_out ]] && log=$work/trace.log && rm -f "$log"
  local rc=0
  local t0=
  [[ -n ${CORPUS_TIMING:-} ]] && t0=$(date +%s.%N)
  XKRVLOG_FILE=$log "$orvkt" -q "$@" >"$name.out" 2>"$name.err" </dev/null || rc=$?
  if [[ -n $t0 ]]; then echo "$name $(awk "BEGIN{print $(date +%s.%N) - $t0}")" >&2; fi
  echo "$name.rc $rc"
  if [[ -n $trace_out ]]; then
    {
      echo "==== $name: orvkt $*"
      # time stamps, line numbers, addresses and callback cookies vary from run to run
      [[ -f $log ]] && sed -E -e 's/^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}\.[0-9]{3} //' \
        -e 's/^([A-Z]+ [^ :]+):[0-9]+ /\1:# /' \
        -e 's/0x[0-9a-fA-F]+/0xADDR/g' \
        -e 's/^(PARAM [^ ]+ lCallback = )-?[0-9]+$/\1COOKIE/' \
        -e "s#$work#WORK#g" "$log"
    } >>"$trace_out"
  fi
  return 0
}

hash_plain() {  # hash_plain FILE...: "<file> <sha256>", or MISSING
  local f
  for f in "$@"; do
    if [[ -f $f ]]; then echo "$f $(sha256sum <"$f" | cut -d' ' -f1)"; else echo "$f MISSING"; fi
  done
}
hash_norm() {  # hash_norm MODES FILE...
  local mode=$1 f
  shift
  for f in "$@"; do
    if [[ -f $f ]]; then echo "$f $(perl norm.pl "$mode" "$f" | sha256sum | cut -d' ' -f1)"; else echo "$f MISSING"; fi
  done
}
# The printed text of a call, hashed like a file.
hash_out() { echo "$1.stdout $(sha256sum <"$1.out" | cut -d' ' -f1)"; }
# A DSS file whose start date and time came from a WAV file's birth time gets
# fixed digits there, so that it can be hashed and used further.
fix_start() {
  if [[ -f $1 ]]; then perl norm.pl start "$1"; fi
  hash_plain "$1"
}
# Every file a split wrote into its folder, in name order.
hash_dir() { local f; for f in $(find "$1" -type f | LC_ALL=C sort); do hash_plain "$f"; done; }

# ---- the corpus ----------------------------------------------------------------

espeak-ng -v en -s 160 -w speech.wav \
  "This is a dictation for the corpus. The patient was seen today and is doing well."
espeak-ng -v en -s 170 -w short.wav "Short note for the file."
sox -R speech.wav -r 16000 -b 16 -c 1 speech16.wav
sox -R speech.wav -r 12000 -b 16 -c 1 speech12.wav
sox -R speech.wav -r 8000 -b 16 -c 1 speech8.wav
sox -R short.wav -r 16000 -b 16 -c 1 short16.wav
sox -R short.wav -r 11025 -b 8 -c 1 short11k8.wav
sox -R -n -r 16000 -b 16 -c 2 stereo16.wav synth 1.5 sine 440 sine 660 vol 0.5
sox -R -n -r 8000 -b 8 -c 2 stereo8.wav synth 1 sine 300 sine 900 vol 0.5
sox -R -n -r 44100 -b 16 -c 1 tone44.wav synth 1 sine 1000 vol 0.5
for f in speech_lp.dss speech_mono.mp3 speech_stereo.mp3 speech_header.mp3 dictation_v23.mp3 \
         dictation_v24.mp3 speech_mono.wma speech_stereo.wma ffmpeg_comment.wav; do
  cp "$data/$f" .
done
echo secret12 >pw.txt
# A DSS file made from a WAV file takes its end time from the WAV file's
# modification time.
touch -d '2024-06-11 09:30:10' ./*.wav
echo "# corpus"
hash_plain speech.wav short.wav speech16.wav speech12.wav speech8.wav short16.wav short11k8.wav stereo16.wav \
  stereo8.wav tone44.wav

# ---- WAV -> DSS/DS2 --------------------------------------------------------------

echo "# wav to dss"
run w2d_sp convert speech16.wav sp.dss --format sp; fix_start sp.dss
run w2d_sp12 convert speech12.wav sp12.dss; fix_start sp12.dss
run w2d_lp convert speech8.wav lp.dss --format lp; fix_start lp.dss
run w2d_qp convert speech16.wav qp.ds2 --format qp; fix_start qp.ds2
run w2d_sp_ds2 convert short16.wav sp.ds2 --format sp; fix_start sp.ds2
run w2d_h1 convert short16.wav sp_h1.dss --format sp --headers 1; fix_start sp_h1.dss
run w2d_h2 convert short16.wav sp_h2.dss --format sp --headers 2; fix_start sp_h2.dss
run w2d_8bit convert short11k8.wav sp8bit.dss --format sp; fix_start sp8bit.dss
run w2d_stereo convert stereo16.wav stereo.dss --format sp; fix_start stereo.dss

# ---- DSS/DS2 -> WAV --------------------------------------------------------------

echo "# dss to wav"
run d2w_sp convert sp.dss sp.wav
run d2w_sp8k convert sp.dss sp_8k.wav --rate 8000
run d2w_sp16k convert sp.dss sp_16k.wav --rate 16000
run d2w_sp44k8 convert sp_h1.dss sp_44k8.wav --rate 44100 --format pcm8
run d2w_lpfix convert speech_lp.dss lpfix.wav
run d2w_lpfix16k convert speech_lp.dss lpfix_16k.wav --rate 16000
run d2w_lp convert lp.dss lp.wav
run d2w_qp convert qp.ds2 qp.wav
run d2w_qp8k8 convert qp.ds2 qp_8k8.wav --rate 8000 --format pcm8
run d2w_ds2 convert sp.ds2 sp_ds2.wav
hash_plain sp.wav sp_8k.wav sp_16k.wav sp_44k8.wav lpfix.wav lpfix_16k.wav lp.wav qp.wav \
  qp_8k8.wav sp_ds2.wav

# A WAV file that carries a dictation header (from the DSS file) back into DSS:
# the header is taken over, no time is stamped.
run w2d_with_header convert sp_ds2.wav sp_again.dss --format sp
hash_plain sp_again.dss

# ---- DSS -> DSS --------------------------------------------------------------------

echo "# dss to dss"
run d2d_sp_lp convert sp.dss d2d_lp.dss --format lp
run d2d_lpfix_sp convert speech_lp.dss d2d_sp.dss --format sp
run d2d_sp_qp convert sp.ds2 d2d_qp.ds2 --format qp
run d2d_qp_sp convert qp.ds2 d2d_sp2.dss --format sp
hash_plain d2d_lp.dss d2d_sp.dss d2d_qp.ds2 d2d_sp2.dss

# ---- WAV -> WAV ----------------------------------------------------------------------

echo "# wav to wav"
run w2w_16_8 convert speech16.wav w_16_8.wav --rate 8000
run w2w_16_44 convert short16.wav w_16_44.wav --rate 44100
run w2w_16_11k8 convert short16.wav w_16_11k8.wav --rate 11025 --format pcm8
run w2w_8bit_16 convert short11k8.wav w_8bit_16.wav --rate 16000 --format pcm16
run w2w_44_8 convert tone44.wav w_44_8.wav --rate 8000
run w2w_12_22 convert speech12.wav w_12_22.wav --rate 22050
run w2w_stereo convert stereo16.wav w_stereo_mono.wav --rate 8000
run w2w_list convert ffmpeg_comment.wav w_list.wav --rate 16000
# PCM into the dictation codecs inside a WAV file, and back
run w2w_enc_sp convert short16.wav w_sp.wav --format sp
run w2w_enc_lp convert short16.wav w_lp.wav --format lp
run w2w_enc_qp convert short16.wav w_qp.wav --format qp
run w2w_dec_sp convert w_sp.wav w_sp_pcm.wav --format pcm16 --rate 12000
run w2w_dec_sp16 convert w_sp.wav w_sp_pcm16k.wav --format pcm16 --rate 16000
run w2w_dec_qp convert w_qp.wav w_qp_pcm.wav --format pcm16 --rate 16000
run w2w_codec_codec convert w_sp.wav w_sp_qp.wav --format qp
# one cue point (at byte 32000 of the data): converted in two passes, and the
# destination gets a cue at the matching place
cp speech16.wav cue.wav
perl -e 'open(my $f, "+<:raw", "cue.wav") or die; local $/; my $b = <$f>;
  $b .= "cue " . pack("V", 28) . pack("V", 1) . pack("VVa4VVV", 1, 16000, "data", 0, 32000, 0);
  substr($b, 4, 4) = pack("V", length($b) - 8); seek($f, 0, 0); print $f $b; close $f'
touch -d '2024-06-11 09:30:10' cue.wav
run w2w_cue convert cue.wav w_cue.wav --rate 8000
run w2w_cue_sp convert cue.wav w_cue_sp.wav --format sp
hash_plain w_16_8.wav w_16_44.wav w_16_11k8.wav w_8bit_16.wav w_44_8.wav w_12_22.wav w_stereo_mono.wav \
  w_list.wav w_sp.wav w_lp.wav w_qp.wav w_sp_pcm.wav w_sp_pcm16k.wav w_qp_pcm.wav w_sp_qp.wav cue.wav w_cue.wav \
  w_cue_sp.wav

# ---- MP3 / WMA -> WAV ------------------------------------------------------------------

echo "# mp3 and wma to wav"
run m2w_mono convert speech_mono.mp3 m_mono.wav
run m2w_stereo convert speech_stereo.mp3 m_stereo.wav
run m2w_header convert speech_header.mp3 m_header.wav --rate 12000
run m2w_v23 convert dictation_v23.mp3 m_v23.wav
run wma2w_mono convert speech_mono.wma wma_mono.wav
run wma2w_stereo convert speech_stereo.wma wma_stereo.wav --rate 8000
hash_plain m_mono.wav m_stereo.wav m_header.wav m_v23.wav wma_mono.wav wma_stereo.wav

# ---- split and join ------------------------------------------------------------------------

echo "# split"
mkdir split_sp split_sp_ov split_sp_n split_qp split_lpfix split_lp split_mp3 split_mp3_ov split_enc
run split_sp split sp.dss --length 2 -o split_sp -m 'piece_%02d.dss'
run split_sp_ov split sp.dss --length 3 --overlap 1 -o split_sp_ov -m 'piece_%02d.dss'
run split_sp_n split sp.dss --length 2 --count 2 -o split_sp_n -m 'piece_%d.ds2'
run split_qp split qp.ds2 --length 2 -o split_qp -m 'piece_%02d.ds2'
run split_lpfix split speech_lp.dss --length 1 -o split_lpfix -m 'piece_%02d.dss'
run split_lp split lp.dss --length 2 --overlap 1 -o split_lp -m 'piece_%02d.dss'
run split_mp3 split speech_header.mp3 --length 1 -o split_mp3 -m 'piece_%02d.mp3'
run split_mp3_ov split dictation_v24.mp3 --length 2 --overlap 1 -o split_mp3_ov -m 'piece_%02d.mp3'
for d in split_sp split_sp_ov split_sp_n split_qp split_lpfix split_lp split_mp3 split_mp3_ov; do
  hash_out "$d"
  hash_dir "$d"
done

echo "# join"
run join_sp join joined_sp.dss split_sp/piece_01.dss split_sp/piece_02.dss split_sp/piece_03.dss
run join_lpfix join joined_lpfix.dss split_lpfix/piece_01.dss split_lpfix/piece_02.dss split_lpfix/piece_03.dss
run join_qp join joined_qp.ds2 split_qp/piece_01.ds2 split_qp/piece_02.ds2
run join_two join joined_two.dss sp12.dss sp_h1.dss
hash_plain joined_sp.dss joined_lpfix.dss joined_qp.ds2 joined_two.dss

# ---- header and markers ---------------------------------------------------------------------

echo "# header"
cp sp.dss hdr.dss
cp sp.wav hdr.wav
cp speech_header.mp3 hdr.mp3
for f in hdr.dss hdr.wav hdr.mp3; do
  run "hset_$f" header set "$f" --header1-text "Ward 7" --start-date 240102 --start-time 081500 \
    --end-date 240102 --end-time 082000 --length 000512 --download-date 240103 --download-time 120000 \
    --text "1=Dr Example" --text "2=Letter" --text "13=Ext two" --length-ms 5120
  run "hget_$f" header get "$f" --json
  hash_out "hget_$f"
done
hash_plain hdr.dss hdr.wav hdr.mp3
cp short16.wav hcopy.wav
run hcopy_wav header copy sp.dss hcopy.wav
cp lp.dss hcopy.dss
run hcopy_dss header copy hdr.dss hcopy.dss
cp sp.wav hcopy_m.wav
run hcopy_markers header copy hdr.mp3 hcopy_m.wav --markers-only
hash_plain hcopy.wav hcopy.dss hcopy_m.wav
run hblock header-block sp.dss
hash_out hblock

echo "# markers"
cp sp.dss mk.dss
cp sp.wav mk.wav
cp speech_header.mp3 mk.mp3
for f in mk.dss mk.wav mk.mp3; do
  run "mset_$f" markers set "$f" 300-900 1500-2100 4000-4600
  run "mget_$f" markers get "$f" --json
  hash_out "mget_$f"
done
hash_plain mk.dss mk.wav mk.mp3
run mextract_new markers extract mk.dss mk_carrier.wav
cp short16.wav mk_into.wav
run mextract_into markers extract mk.mp3 mk_into.wav
cp lp.dss mk_into.dss
run mextract_dss markers extract mk.wav mk_into.dss
hash_plain mk_carrier.wav mk_into.wav mk_into.dss

echo "# info"
for f in qp.ds2 mk.wav speech_header.mp3 speech_mono.wma; do
  run "info_$f" info "$f" --json
  hash_out "info_$f"
done

# ---- index repair -----------------------------------------------------------------------------

echo "# repair-index"
run repair_dss repair-index mk.dss rep.dss
run repair_ds2 repair-index mk.dss rep.ds2
cp qp.ds2 mk_qp.ds2
run mset_qp markers set mk_qp.ds2 100-700 2000-2600
run repair_qp repair-index mk_qp.ds2 rep_qp.ds2
hash_plain rep.dss rep.ds2 mk_qp.ds2 rep_qp.ds2

# ---- encryption (compared after decryption) ----------------------------------------------------

echo "# encryption"
run enc_sp encrypt sp.dss enc_sp.ds2 --password-file pw.txt
run enc_qp encrypt qp.ds2 enc_qp.ds2 --password-file pw.txt
run enc_mk encrypt mk.dss enc_mk.ds2 --password-file pw.txt
run isenc is-encrypted enc_sp.ds2
hash_out isenc
run checkpw check-password enc_sp.ds2 --password-file pw.txt
run dec_sp_ds2 decrypt enc_sp.ds2 dec_sp.ds2 --password-file pw.txt
run dec_sp_dss decrypt enc_sp.ds2 dec_sp.dss --password-file pw.txt
run dec_qp decrypt enc_qp.ds2 dec_qp.ds2 --password-file pw.txt
run dec_mk decrypt enc_mk.ds2 dec_mk.ds2 --password-file pw.txt
hash_norm tails dec_sp.ds2 dec_sp.dss dec_qp.ds2 dec_mk.ds2
# the encrypted file opened with its password, straight to WAV
# (the WAV file's header image keeps the source's salt and check value)
run d2w_enc convert enc_sp.ds2 dec_sp.wav --password-file pw.txt
hash_norm salt dec_sp.wav
# split with a password: every piece encrypted again; each is decrypted here
run split_enc split enc_sp.ds2 --length 3 -o split_enc -m 'piece_%02d.ds2' --password-file pw.txt
hash_out split_enc
for f in $(find split_enc -type f | LC_ALL=C sort); do
  out=${f%.ds2}_dec.ds2
  run "dec_$(basename "$f")" decrypt "$f" "$out" --password-file pw.txt
  hash_norm tails "$out"
done
run repair_enc repair-index enc_mk.ds2 rep_enc.ds2
run dec_rep_enc decrypt rep_enc.ds2 rep_enc_dec.ds2 --password-file pw.txt
hash_norm tails rep_enc_dec.ds2

# ---- copy -------------------------------------------------------------------------------------

echo "# copy"
run copy_wt_dss copy --write-through sp.dss copy_wt.dss
run copy_wt_wav copy --write-through hdr.wav copy_wt.wav
run copy_wt_mp3 copy --write-through hdr.mp3 copy_wt.mp3
hash_plain copy_wt.dss copy_wt.wav copy_wt.mp3
# without write-through header 2 gets the date and time of the copy
run copy_dss copy sp.dss copy.dss
run copy_wav copy hdr.wav copy.wav
run copy_mp3 copy hdr.mp3 copy.mp3
run copy_plain_wav copy short16.wav copy_plain.wav
hash_norm h2stamp copy.dss copy.wav copy.mp3 copy_plain.wav
# a DSS file with one corrupt data block (block 3: compression id 9): the copy
# leaves it out
cp sp.dss corrupt.dss
printf '\x09' | dd of=corrupt.dss bs=1 seek=$((5 * 512 + 4)) conv=notrunc status=none
run copy_corrupt copy --write-through corrupt.dss copy_corrupt.dss
hash_plain corrupt.dss copy_corrupt.dss

# ---- stereo tools and separation ----------------------------------------------------------------

echo "# stereo"
run stereo_split16 stereo split stereo16.wav st16_left.wav st16_right.wav
run stereo_split8 stereo split stereo8.wav st8_left.wav st8_right.wav
run stereo_mix16 stereo mix stereo16.wav st16_mix.wav
cp stereo16.wav st_hdr.wav
run stereo_hdr header copy sp.dss st_hdr.wav
run stereo_split_hdr stereo split st_hdr.wav st_hdr_left.wav st_hdr_right.wav
hash_plain st16_left.wav st16_right.wav st8_left.wav st8_right.wav st16_mix.wav st_hdr_left.wav \
  st_hdr_right.wav

echo "# separate"
run separate separate mk.wav sep.wav
run separate_dict separate mk.wav sepd.wav --no-instruction
run separate_ins separate mk.wav sepi.wav --no-dictation
cp mk.wav sep_self.wav
run separate_self separate sep_self.wav sep_self.wav
hash_plain sep.wav sep_i.wav sepd.wav sepi_i.wav sep_self.wav sep_self_i.wav

# ---- templates ------------------------------------------------------------------------------------

echo "# template"
run tpl_sp template tpl_sp.dss
run tpl_lp template tpl_lp.dss --mode lp
run tpl_qp template tpl_qp.ds2 --mode qp
run tpl_id2 template tpl_id2.dss --mode 2
run tpl_pw template tpl_pw.ds2 --mode sp --password-file pw.txt
hash_plain tpl_sp.dss tpl_lp.dss tpl_qp.ds2 tpl_id2.dss
hash_norm salt tpl_pw.ds2

# ---- failures: their status, what they leave behind and (with TRACE_OUT) their trace ----------------

echo "# failures"
echo wrongpw9 >wrong.txt
cp short16.wav notdss.dss
head -c 30 speech16.wav >trunc.wav
mkdir split_bad
run fail_wrong_password decrypt enc_sp.ds2 f_wrong.ds2 --password-file wrong.txt
run fail_decrypt_plain decrypt sp.dss f_plain.ds2 --password-file pw.txt
run fail_encrypt_to_dss encrypt sp.dss f_enc.dss --password-file pw.txt
run fail_missing convert missing.dss f_missing.wav
run fail_not_dss convert notdss.dss f_notdss.wav
run fail_truncated convert trunc.wav f_trunc.dss
run fail_same_format convert speech16.wav f_same.wav --rate 16000
run fail_mask split sp.dss --length 2 -o split_bad -m 'a%d_%d.dss'
run fail_join_ids join f_join.dss sp.dss lp.dss
run fail_repair_lp repair-index speech_lp.dss f_rep.dss
run fail_header_get header get short16.wav
run fail_markers_get markers get short16.wav
run fail_mix_mono stereo mix short16.wav f_mix.wav
run fail_template_pw template f_tpl.dss --password-file pw.txt
hash_plain f_wrong.ds2 f_plain.ds2 f_enc.dss f_missing.wav f_notdss.wav f_trunc.dss f_same.wav f_join.dss f_rep.dss \
  f_mix.wav f_tpl.dss
hash_dir split_bad

echo "# $calls calls"
