#!/usr/bin/env bash
# FFmpeg as the peer a user would pick, beside dvlib and libdv: dvlib_bench
# decodes the mandelbrot clip with libavcodec's dvvideo decoder and libswscale
# to rgb24 in its own process (bench/ffmpeg_decoder.*), on two slice threads
# and on one. Prints a Markdown section from the medians that
# tools/run-benchmarks.sh collected (lines "NAME MILLISECONDS").
#   bench/ffmpeg_peer.sh MEDIANS
set -euo pipefail
medians=$1

ms() { awk -v n="$1" '$1 == n { print $2 }' "$medians"; }
peer=$(ms BM_FfmpegRgb24TwoSliceThreads)

row() {  # decoder, threads, benchmark
  awk -v what="$1" -v threads="$2" -v ms="$(ms "$3")" -v peer="$peer" \
    'BEGIN { if (ms == "") printf "| %s | %s | not run | |\n", what, threads
             else printf "| %s | %s | %.3f | %.2f |\n", what, threads, ms, ms / peer }'
}

echo "## FFmpeg as the peer"
echo
echo "The mandelbrot clip, PAL 4:2:0, decoded to packed 24-bit RGB; wall time per frame, medians of the run above."
echo "FFmpeg ($(pkg-config --modversion libavcodec 2>/dev/null || echo '?') libavcodec) decodes with its dvvideo decoder"
echo "and converts its yuv420p picture with libswscale, in the benchmark's own process. This machine has $(nproc) cores."
echo
echo "| decoder | threads | ms per frame | ratio to FFmpeg on two slice threads |"
echo "|---|---|---:|---:|"
row "FFmpeg dvvideo + swscale to rgb24" "two slice threads" BM_FfmpegRgb24TwoSliceThreads
row "FFmpeg dvvideo + swscale to rgb24" "one" BM_FfmpegRgb24OneThread
row "dvlib dvreadblock, request 2" "one per core" BM_DvreadblockRequest2
row "dvlib dvreadblock, request 2" "one" BM_DvreadblockRequest2OneThread
row "dvlib dvreadarray (RGB0 rows)" "one per core" BM_Dvreadarray
row "dvlib dvreadarray (RGB0 rows)" "one" BM_DvreadarrayOneThread
row "libdv dv_decode_full_frame" "one" BM_LibdvOwnDecode
