#!/usr/bin/env bash
# Where a frame's work goes, in instructions (callgrind), which the other work
# on a shared machine does not move: each named benchmark runs under
# valgrind --tool=callgrind, and every instruction is put to a part by the
# function it runs in (inlined code counts to the function it was inlined
# into) or else by its object: the segment parse, the block work (dequantiser,
# DC-only blocks), the inverse DCT, the renderers, the threads (worker pool),
# the frame walk and dvlib, libdv (header parse, macroblock placement). The
# rest (the benchmark's set-up, the C library, the dynamic loader) is left
# out. Frames are counted by the calls of libdv's dv_parse_header, once per
# frame in every benchmark. Prints one Markdown row per benchmark:
# instructions per frame, then each part's share of them.
#   bench/callgrind_split.sh BENCH CLIP_DIR BENCHMARK...
set -euo pipefail
bench=$(realpath "$1")
export OZMIRA_CLIP_DIR=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for name in "$@"; do
  valgrind --tool=callgrind --callgrind-out-file="$work/$name.out" "$bench" --benchmark_filter="^$name(/|\$)" \
    --benchmark_min_time=0.5 >/dev/null 2>&1
  python3 - "$name" "$work/$name.out" <<'PY'
import re, sys
name, path = sys.argv[1], sys.argv[2]
parts = [("parse", r"read_?codes|parse_?video_?segment|continue_?block|spilled|read_?block_?heads|segment::"),
         ("block work", r"transform_?segment|dequantise|fill_?dc_?only_?block"), ("inverse DCT", r"idct"),
         ("render", r"mb420|colou?r_?row|chroma_?row|render|rgb|yuy2|bgr0|copy_?patches"),
         ("threads", r"worker|run_?pieces|use_?threads"),
         ("frame walk", r"decode_?segment|decode_?full_?frame|decodeframe|decode_?piece|place_?and_?render|dvread"),
         ("libdv", r"libdv\.so")]
names = {}
def named(field, kind):  # "(id) name" the first time, "(id)" after; ids count per kind
    field = kind + field if field.startswith("(") else field
    m = re.match(r"(\w\(\d+\))\s*(.*)", field)
    if not m:
        return field
    key = m.group(1)
    if m.group(2):
        names[key] = m.group(2)
    return names.get(key, "")
cost = {}
frames = 0
obj = fn = ""
after_call = False
calls_to = None
with open(path) as f:
    for line in f:
        line = line.rstrip("\n")
        if after_call:  # the inclusive cost of the call just named: not this function's own
            after_call = False
            if calls_to == "dv_parse_header":
                frames += calls
            continue
        key, _, rest = line.partition("=")
        if key == "ob":
            obj = named(rest, "o")
        elif key == "cob":
            named(rest, "o")
        elif key in ("fl", "fi", "fe", "cfl", "cfi"):
            named(rest, "l")
        elif key == "fn":
            fn = named(rest, "n")
        elif key == "cfn":
            calls_to = named(rest, "n")
        elif key == "calls":
            calls = int(rest.split()[0])
            after_call = True
        elif line and (line[0].isdigit() or line[0] in "+-*"):
            fields = line.split()
            if len(fields) >= 2:
                where = fn + " " + obj
                cost[where] = cost.get(where, 0) + int(fields[1])
share = {p: 0 for p, _ in parts}
share["other"] = 0
total = 0
for where, ir in cost.items():
    total += ir
    for p, pattern in parts:
        if re.search(r"init", where, re.I):  # one-time set-up
            share["other"] += ir
            break
        if re.search(pattern, where, re.I):
            share[p] += ir
            break
    else:
        share["other"] += ir
decode = total - share["other"]
cells = " | ".join(f"{100.0 * share[p] / decode:.1f}%" for p, _ in parts)
print(f"| {name} | {decode / max(frames, 1) / 1e6:.2f} M | {cells} |")
PY
done
