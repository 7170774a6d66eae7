#!/usr/bin/env bash
# Seed corpora for the fuzz targets, cut from the test clips that
# tests/clips/make_clips.sh writes. Mutating whole real frames keeps their
# headers parsing, so the fuzzer gets past the header into the segment parser.
#   fuzz/make_seed_corpus.sh CLIP_DIR OUT_DIR
# writes OUT_DIR/frame_block, OUT_DIR/dv_file and OUT_DIR/segment.
set -euo pipefail
clips=$1
out=$2
readonly frame=144000 ntsc_frame=120000 block=80 sequence_blocks=150
mkdir -p "$out"/{frame_block,dv_file,segment}

# frame N of a clip (frame size in bytes) to stdout
frame_of() { dd if="$clips/$1" bs="$3" skip="$2" count=1 status=none; }

# Whole frames: every kind of clip, and damaged frames.
for clip in pal420 pal420_248 pal411 grey colour_unstated bad_header sound48000 sound32000; do
  frame_of $clip.dv 0 $frame > "$out/frame_block/$clip"
done
frame_of ntsc.dv 0 $ntsc_frame > "$out/frame_block/ntsc"
for n in 1 4 7; do
  frame_of damaged_random.dv $n $frame > "$out/frame_block/damaged_random_$n"
  frame_of damaged_ff.dv $n $frame > "$out/frame_block/damaged_ff_$n"
done

# Whole files: one frame, two frames, two and a piece, and refused ones.
frame_of pal420.dv 0 $frame > "$out/dv_file/one_frame"
head -c $((2 * frame)) "$clips/damaged_random.dv" > "$out/dv_file/two_damaged"
cp "$clips/truncated.dv" "$out/dv_file/truncated"
frame_of pal411.dv 0 $frame > "$out/dv_file/pal411"
frame_of ntsc.dv 0 $ntsc_frame > "$out/dv_file/ntsc"
cp "$clips/bad_header.dv" "$out/dv_file/bad_header"
dd if="$clips/pal420.dv" bs=1000 count=1 status=none > "$out/dv_file/short"

# Segments: three choice bytes (bit 0 of the first: 4:1:1; ds; v) and the
# segment's 400 bytes, cut from real frames at spread-out positions,
# the last segment of a frame among them.
segment_seed() {  # clip sampling_bit frame ds v name
  local first=$(( $3 * frame / block + $4 * sequence_blocks + 7 + 16 * ($5 / 3) + 5 * ($5 % 3) ))
  { printf "\\x$(printf %02x "$2")\\x$(printf %02x "$4")\\x$(printf %02x "$5")"
    dd if="$clips/$1" bs=$block skip=$first count=5 status=none; } > "$out/segment/$6"
}
for ds in 0 5 11; do
  for v in 0 13 26; do
    segment_seed pal420.dv 0 3 $ds $v "pal420_${ds}_${v}"
    segment_seed pal420_248.dv 0 5 $ds $v "pal420_248_${ds}_${v}"
    segment_seed pal411.dv 1 2 $ds $v "pal411_${ds}_${v}"
    segment_seed damaged_ff.dv 0 1 $ds $v "damaged_ff_${ds}_${v}"
    segment_seed damaged_random.dv 0 2 $ds $v "damaged_random_${ds}_${v}"
  done
done
# The same real segment asked for DC coefficients only (bit 1).
segment_seed pal420.dv 2 0 4 7 pal420_dc_4_7
