#!/usr/bin/env bash
# Makes the clips the tests and benchmarks use, with ffmpeg, into OUT; the tests make damaged ones from these.
#   make_clips.sh OUT
set -euo pipefail
mkdir -p "$1" && cd "$1"
[[ -f .complete-v6 ]] && exit 0
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "$1" "${@:2}" -an -f dv; }
ff testsrc2=size=720x576:rate=25 -t 2 -target pal-dv pal420.dv  # 50 frames, each numbered
ff testsrc2=size=720x576:rate=50,tinterlace=mode=interleave_top -t 1 -flags +ildct -target pal-dv pal420_248.dv  # 2-4-8
ff testsrc2=size=720x576:rate=25 -t 1 -pix_fmt yuv411p -c:v dvvideo pal411.dv
ff testsrc2=size=720x480:rate=30000/1001 -t 1 -target ntsc-dv ntsc.dv
ff mandelbrot=size=720x576:rate=25 -t 2 -target pal-dv mandelbrot.dv  # fine detail, whose codes spill most; the benchmarks'
# With the recording details FFmpeg writes as asked: aspect, timecode, date and time, and sound.
meta() { ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=720x576:rate=25" \
  -f lavfi -i "sine=sample_rate=$1" -t 1 -target pal-dv -ar "$1" "${@:2}" -f dv; }
meta 48000 -aspect 16:9 -timecode 10:20:30:12 -metadata creation_time=2031-03-04T05:06:07Z meta169.dv
meta 32000 -aspect 4:3 -timecode 23:59:58:20 -metadata creation_time=1999-12-31T23:59:58Z meta43.dv
for rate in 48000 44100 32000; do  # with sound: noise, so that silent sample pairs are rare
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi \
    -i anoisesrc=sample_rate=$rate -t 2 -target pal-dv -ar $rate -ac 2 -f dv sound$rate.dv
done
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=720x480:rate=30000/1001 -f lavfi \
  -i anoisesrc=sample_rate=48000 -t 1 -target ntsc-dv -ar 48000 -ac 2 -f dv ntsc_sound.dv  # 525/60 with sound
touch .complete-v6
