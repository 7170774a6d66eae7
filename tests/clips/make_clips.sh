#!/usr/bin/env bash
# Makes every DV clip the tests use, with Debian's ffmpeg and dvclip, into OUT.
# Quick when the clips are already there.
#   make_clips.sh OUT DVCLIP
set -euo pipefail
out=$1
dvclip=$2
mkdir -p "$out"
cd "$out"
# The marker names the clip set, so a build tree made before a clip was added
# makes the set again.
marker=.complete-mandelbrot
[[ -f $marker ]] && exit 0

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
pattern() { echo "testsrc2=size=$1:rate=$2"; }

# PAL 4:2:0 (IEC 61834), 50 frames, each with its number drawn.
ff -f lavfi -i "$(pattern 720x576 25)" -t 2 -target pal-dv -an -f dv pal420.dv
# Interlaced content coded with 2-4-8 DCT blocks where that pays.
ff -f lavfi -i "$(pattern 720x576 50),tinterlace=mode=interleave_top" -t 1 \
   -flags +ildct -target pal-dv -an -f dv pal420_248.dv
# PAL 4:1:1 (SMPTE 314M style) and 525/60.
ff -f lavfi -i "$(pattern 720x576 25)" -t 1 -pix_fmt yuv411p -c:v dvvideo -an -f dv pal411.dv
ff -f lavfi -i "$(pattern 720x480 30000/1001)" -t 1 -target ntsc-dv -an -f dv ntsc.dv
# Fine detail, whose codes spill into other blocks most: the benchmarks' clip.
ff -f lavfi -i mandelbrot=size=720x576:rate=25 -t 2 -target pal-dv -an -f dv mandelbrot.dv

head -c 144000 pal420.dv > frame0.dv
"$dvclip" colour frame0.dv grey.dv grey
"$dvclip" colour frame0.dv colour_unstated.dv unstated
"$dvclip" bad-header frame0.dv bad_header.dv

head -c $((10 * 144000)) pal420.dv > ten_frames.dv
"$dvclip" damage ten_frames.dv damaged_random.dv random 1
"$dvclip" damage ten_frames.dv damaged_ff.dv ff 2
head -c $((2 * 144000 + 50000)) pal420.dv > truncated.dv
rm -f frame0.dv ten_frames.dv

# FFmpeg's own decode of the first frames, as planar yuv420p (its native form
# for this clip): an independent decoder to compare against.
ff -i pal420.dv -frames:v 3 -f rawvideo -pix_fmt yuv420p pal420_ffmpeg.yuv

touch "$marker"
