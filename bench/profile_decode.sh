#!/usr/bin/env bash
# Where the time of a full decode goes: perf samples (cpu-clock) of libdv's own
# decode into packed RGB, and of dvreadblock request 2 and dvreadarray on one
# thread (dvthreads(1)), each split into the segment parse, the block work,
# the renderer, the rest, and the system. Prints a Markdown section on
# standard output.
#
# libdv's x86-64 assembler routines have no symbols of their own, so perf puts
# its dequantiser and MMX inverse DCT under the exported symbol before them,
# dv_parse_video_segment. That symbol's code is cut at its `ret` instructions
# (objdump); the piece with shifts by %cl is the dequantiser, the one with
# pmulhw the inverse DCT, the first piece the segment parse proper.
#   bench/profile_decode.sh DVLIB_BENCH CLIP_DIR [SECONDS]
set -euo pipefail
bench=$(realpath "$1")
export OZMIRA_CLIP_DIR=$2
seconds=${3:-3}
libdv=$(realpath "$(ldd "$bench" | awk '$1 ~ /^libdv\.so/ { print $3 }')")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

address_of() { nm -D --defined-only "$libdv" | awk -v s="$1" '$3 == s { print $1 }'; }
parse_start=$((16#$(address_of dv_parse_video_segment)))
# mawk has no strtonum: hexadecimal by hand.
hex_awk='function hex(s,   i, v) { s = tolower(s); sub(/^0x/, "", s); v = 0; for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }'
text_end=$(objdump -h "$libdv" | awk "$hex_awk"' $2 == ".text" { printf "%d\n", hex($4) + hex($3) }')

# The pieces of code from dv_parse_video_segment to the next exported code
# symbol (or the end of .text), cut after each ret, with what each one is.
next_symbol=$(nm -D --defined-only "$libdv" | awk -v start="$parse_start" "$hex_awk"' $2 ~ /^[Tt]$/ {
  a = hex($1); if (a > start && (best == "" || a < best)) best = a } END { print best }')
[[ -n "$next_symbol" && "$next_symbol" -lt "$text_end" ]] && text_end=$next_symbol
objdump -d --no-show-raw-insn --start-address="$parse_start" --stop-address="$text_end" "$libdv" |
  awk -v start="$parse_start" "$hex_awk"'
    /^ *[0-9a-f]+:/ {
      addr = hex(substr($1, 1, length($1) - 1))
      if ($0 ~ /shl[a-z]* +%cl/) shifts++
      if ($0 ~ /pmulhw/) pmulhw++
      if ($0 ~ /\tret/) {
        kind = (from == start) ? "parse" : (shifts >= 16) ? "dequantiser" : (pmulhw >= 16) ? "idct" : "asm_other"
        print from, addr, kind
        from = addr + 1; shifts = 0; pmulhw = 0
      }
    }
    BEGIN { from = start }' >"$work/pieces"

# One profile: category shares (fractions of all samples) and ms per frame.
profile() {
  local name=$1
  perf record -q -e cpu-clock -o "$work/$name.data" -- "$bench" --benchmark_filter="^$name/" \
    --benchmark_min_time="$seconds" --benchmark_format=csv 2>/dev/null >"$work/$name.csv"
  local ms
  ms=$(awk -F, -v n="\"$name/real_time\"" '$1 == n { print $3 }' "$work/$name.csv")
  perf script -i "$work/$name.data" -F ip,sym,symoff,dso --no-demangle 2>/dev/null |
    awk -v libdv="$libdv" -v ours="$bench" -v parse_start="$parse_start" \
      -v pieces="$work/pieces" -v ms="$ms" -v run="$name" "$hex_awk"'
      BEGIN { while ((getline line < pieces) > 0) { split(line, p, " "); lo[++np] = p[1]; hi[np] = p[2]; kind[np] = p[3] } }
      {
        dso = $NF; gsub(/[()]/, "", dso); sym = $2; off = 0
        if (match(sym, /\+0x[0-9a-f]+$/)) { off = hex(substr(sym, RSTART + 1)); sym = substr(sym, 1, RSTART - 1) }
        total++
        if (dso == libdv) {
          base = sym; sub(/@plt$/, "", base)
          if (sym == "dv_parse_video_segment") {
            at = parse_start + off; c = "libdv_other"
            for (i = 1; i <= np; i++) if (at >= lo[i] && at <= hi[i]) c = (kind[i] == "asm_other" ? "libdv_other" : kind[i])
            count[c]++
          } else if (base ~ /^(dv_parse|_dv_bitstream|bitstream|dv_decode_vlc|__dv_decode_vlc|dv_vlc)/) {
            count["parse"]++
          } else if (base ~ /(quant|weight|idct|dv_decode_video_segment)/) {
            count["block_other"]++
          } else if (base ~ /^dv_mb4|rgb|YUY2|YV12|bgr0/) {
            count["renderer"]++
          } else {
            count["libdv_other"]++
          }
        } else if (dso == ours) {
          if (sym ~ /ozmira5bench|benchmark/) count["harness"]++
          else if (tolower(sym) ~ /parse_?video_?segment|parse_?segment|segment::|read_?codes|spilled|continue_?block|lender|read_?block_?heads|first_?pass/) count["our_parse"]++
          else if (tolower(sym) ~ /idct_?88/) count["our_idct"]++
          else if (tolower(sym) ~ /transform_?segment|dequantise|dc_?only_?block/) count["our_dequantiser"]++
          else if (tolower(sym) ~ /mb420|mb411|luma|rgb|render|patches/) count["our_renderer"]++
          else count["our_other"]++
        } else if (dso ~ /kallsyms|kernel/) count["kernel"]++
        else if (dso ~ /libbenchmark/) count["harness"]++
        else count["libc"]++
      }
      END {
        split("parse dequantiser idct block_other renderer libdv_other our_parse our_dequantiser our_idct our_renderer our_other libc kernel harness", order, " ")
        for (i = 1; i in order; i++) printf "%s %s %.6f %.6f\n", run, order[i], count[order[i]] / total, ms
      }' >>"$work/shares"
}

for run in BM_LibdvOwnDecode BM_DvreadblockRequest2OneThread BM_DvreadarrayOneThread; do profile "$run"; done

cell() {  # run, category list: percent of samples and ms per frame
  awk -v run="$1" -v cats="$2" '
    BEGIN { n = split(cats, c, ","); for (i = 1; i <= n; i++) want[c[i]] = 1 }
    $1 == run && ($2 in want) { f += $3; ms = $4 }
    END { printf "%.1f%% (%.2f ms)", f * 100, f * ms }' "$work/shares"
}
row() {  # label, categories
  printf '| %s | %s | %s | %s |\n' "$1" "$(cell BM_LibdvOwnDecode "$2")" "$(cell BM_DvreadblockRequest2OneThread "$2")" \
    "$(cell BM_DvreadarrayOneThread "$2")"
}

echo "## Where the time goes"
echo
echo "\`bench/profile_decode.sh\`: \`perf record -e cpu-clock\` of each benchmark for ${seconds} s on the mandelbrot clip,"
echo "dvlib's calls on one thread; share of all samples and, in brackets, that share of the run's wall time per"
echo "frame. libdv's assembler pieces inside dv_parse_video_segment are told apart by address (objdump)."
echo
echo "| part | libdv's own decode, packed RGB | dvreadblock request 2, one thread | dvreadarray, one thread |"
echo "|---|---:|---:|---:|"
row "libdv: segment parse" parse
row "libdv: dequantiser (assembler)" dequantiser
row "libdv: inverse DCT (MMX assembler)" idct
row "libdv: other block work (2-4-8, C entry points)" block_other
row "libdv: packed renderers (dv_mb420_rgb)" renderer
row "libdv: placement, frame walk, other" libdv_other
row "ours: segment parser" our_parse
row "ours: block work (dequantiser, DC-only blocks)" our_dequantiser
row "ours: inverse DCT" our_idct
row "ours: renderers" our_renderer
row "ours: frame walk, threads, dvlib" our_other
row "C library" libc
row "kernel" kernel
row "benchmark harness and set-up" harness
