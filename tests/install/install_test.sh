#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets: the
# programs, dvlib (shared, and static with the frame decoder inside), its
# header, pkg-config file, CMake package and the man pages. Then builds the C
# host in host/ against that prefix four ways (pkg-config and find_package,
# each shared and static), runs each on a clip and compares the frame it
# decoded with the installed ozmira-export's PNG of the same frame. The host
# is the C program of the library's tests: open, attributes, a frame (with
# dvreadframe, or with dvreadformat in a format the exporter draws), close.
#   install_test.sh BUILD_DIR HOST_SOURCE_DIR CLIP_DIR WITH_VIEWER
# WITH_VIEWER is 1 when the build has the ozmira target, else 0.
set -euo pipefail
build=$1 host_source=$2 clips=$3 with_viewer=$4
clip=$clips/pal420.dv
frame=37
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }
# grep on a command's whole output (grep -q in a pipe would stop the writer
# early, which pipefail counts as a failure).
has() { grep -Eq -- "$1" <<<"$2"; }

cmake --install "$build" --prefix "$prefix" >/dev/null

# What is installed.
pc=$(find "$prefix" -name dvlib.pc)
[[ -n $pc ]] || fail "no dvlib.pc under the prefix"
libdir=$(dirname "$(dirname "$pc")")
programs=(bin/ozmira-export)
((with_viewer)) && programs+=(bin/ozmira)
for file in "${programs[@]}" include/dvlib.h share/man/man1/ozmira.1.gz share/man/man1/ozmira-export.1.gz \
  share/man/man3/dvlib.3.gz; do
  [[ -e $prefix/$file ]] || fail "missing $file"
done
for file in libdvlib.a libdvlib.so libdvlib.so.0 cmake/dvlib/dvlibConfig.cmake cmake/dvlib/dvlibConfigVersion.cmake; do
  [[ -e $libdir/$file ]] || fail "missing $libdir/$file"
done
has ' T .*dv_decode_full_frame' "$(nm --defined-only "$libdir/libdvlib.a")" ||
  fail "libdvlib.a does not carry the frame decoder"
has '^ozmira-export ' "$("$prefix/bin/ozmira-export" --version)" || fail "the installed ozmira-export does not run"
if ((with_viewer)); then
  if "$prefix/bin/ozmira" 2>"$work/usage"; then fail "ozmira without a file succeeded"; fi
  [[ $(cat "$work/usage") == "Usage:  ozmira <dv file>" ]] || fail "the installed ozmira does not run"
fi

# The man pages render without a warning, and the export page names every
# option that --help lists.
for page in "$prefix"/share/man/man[13]/*.gz; do
  zcat "$page" | groff -man -Tascii -ww -z 2>"$work/groff" || fail "groff failed on $page"
  [[ ! -s $work/groff ]] || fail "$(basename "$page"): $(cat "$work/groff")"
done
zcat "$prefix/share/man/man1/ozmira-export.1.gz" | groff -man -Tascii -P-cbu >"$work/page.txt" 2>/dev/null
for option in $("$prefix/bin/ozmira-export" --help | grep -o -- '--[a-z-]*' | sort -u); do
  grep -q -- "$option" "$work/page.txt" || fail "ozmira-export.1 does not describe $option"
done

# The four hosts.
cc=${CC:-cc}
flags=(-std=c99 -Wall -Wextra -Wpedantic -Werror)
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
"$cc" "${flags[@]}" "$host_source/host.c" -o "$work/pc_shared" $(pkg-config --cflags --libs dvlib)
# --static adds what the archive needs (libdv); -Bstatic picks the archive
# over the shared library of the same name.
static_libs=$(pkg-config --static --libs dvlib)
# shellcheck disable=SC2086
"$cc" "${flags[@]}" "$host_source/host.c" -o "$work/pc_static" $(pkg-config --cflags dvlib) \
  ${static_libs/-ldvlib/-Wl,-Bstatic -ldvlib -Wl,-Bdynamic}
cmake -S "$host_source" -B "$work/cmake_build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="${flags[*]}" >/dev/null
cmake --build "$work/cmake_build" >/dev/null
cp "$work/cmake_build/host_shared" "$work/cmake_shared"
cp "$work/cmake_build/host_static" "$work/cmake_static"

needs_dvlib() { has 'NEEDED.*\[libdvlib\.so\.0\]' "$(readelf -d "$1")"; }
for host in pc_shared cmake_shared; do
  needs_dvlib "$work/$host" || fail "$host does not load libdvlib.so.0"
done
for host in pc_static cmake_static; do
  if needs_dvlib "$work/$host"; then fail "$host loads libdvlib.so.0 although linked statically"; fi
done
# The shared hosts load the prefix's library: pkg-config's through the
# library path, CMake's through the run path CMake gives it.
has "$libdir/libdvlib.so.0" "$(LD_LIBRARY_PATH=$libdir ldd "$work/pc_shared")" || fail "pc_shared: wrong libdvlib"
has "$libdir/libdvlib.so.0" "$(ldd "$work/cmake_shared")" || fail "cmake_shared: wrong libdvlib"

# Each host's picture of the frame equals the installed exporter's.
"$prefix/bin/ozmira-export" -q -f "$frame" -o "$work" "$clip"
ffmpeg -nostdin -v error -i "$work/frame-0000$frame.png" -f rawvideo -pix_fmt rgb24 "$work/expected.rgb"
expected_frames=$(($(stat -c %s "$clip") / 144000))
for host in pc_shared pc_static cmake_shared cmake_static; do
  out=$(LD_LIBRARY_PATH=$libdir "$work/$host" "$clip" "$frame" "$work/$host.ppm" 2>/dev/null) || fail "$host failed"
  [[ $out == *$'\n Number of frames                : '"$expected_frames"$'\n\n'"$expected_frames frames" ]] ||
    fail "$host printed '$out', not the attributes and '$expected_frames frames'"
  tail -c "$(stat -c %s "$work/expected.rgb")" "$work/$host.ppm" | cmp -s - "$work/expected.rgb" ||
    fail "$host decoded frame $frame differently"
done
# dvreadformat in the formats the installed exporter also draws equals it.
for clip_name in pal420.dv pal420_248.dv; do
  for drawn in 1:full:rgb24 4:luma:gray 8:thumb:rgb24 11:half:rgb24; do
    IFS=: read -r format kind pix_fmt <<<"$drawn"
    "$prefix/bin/ozmira-export" -q -p "$kind" -f 11 -n "$kind" -o "$work" "$clips/$clip_name"
    ffmpeg -nostdin -v error -y -i "$work/$kind-000011.png" -f rawvideo -pix_fmt "$pix_fmt" "$work/expected.raw"
    for host in pc_shared pc_static; do
      LD_LIBRARY_PATH=$libdir "$work/$host" "$clips/$clip_name" 11 "$work/$host.pnm" "$format" &>/dev/null ||
        fail "$host: format $format of $clip_name failed"
      tail -c "$(stat -c %s "$work/expected.raw")" "$work/$host.pnm" | cmp -s - "$work/expected.raw" ||
        fail "$host drew format $format of $clip_name differently"
    done
  done
done
echo "install test: all checks passed"
