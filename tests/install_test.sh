#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a C host against it as
# users do: pkg-config with the shared and with the static library (which
# carries the frame decoder and must link with a C compiler alone), and CMake's
# find_package. Each host prints the attributes of a file and decodes a frame,
# which must be the installed ozmira-export's picture of it.
#   install_test.sh BUILD_DIR CLIP_DIR
set -euo pipefail
build=$1 clip=$2/pal420.dv work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for file in bin/ozmira bin/ozmira-export include/dvlib.h share/man/man1/ozmira.1.gz share/man/man1/ozmira-export.1.gz; do
  [[ -e $work/prefix/$file ]] || fail "$file is not installed"
done
libdir=$(dirname "$(dirname "$(find "$work/prefix" -name dvlib.pc)")")
cat >"$work/host.c" <<'C'
#include <dvlib.h>
#include <stdio.h>
#include <stdlib.h>
int main(int argc, char **argv) {
  dvinit();
  dvfile *dv = argc == 4 ? dvopen(argv[1]) : NULL;
  unsigned char *rgb = dv != NULL ? malloc((size_t)dv->x_size * dv->y_size * 3) : NULL;
  FILE *out = fopen(argv[3], "wb");
  if (rgb == NULL || out == NULL || dvreadframe(dv, rgb, atoi(argv[2])) != 1) return 1;
  DisplayDvAttributes(dv);
  fwrite(rgb, (size_t)dv->x_size * dv->y_size * 3, 1, out);
  return fclose(out) != 0 || dvclose(dv) != 0;
}
C
export PKG_CONFIG_PATH=$libdir/pkgconfig
flags=(-std=c99 -Wall -Wextra -Wpedantic -Werror)
# shellcheck disable=SC2046,SC2086
cc "${flags[@]}" "$work/host.c" -o "$work/shared" $(pkg-config --cflags --libs dvlib)
static=$(pkg-config --static --libs dvlib)
# shellcheck disable=SC2046,SC2086
cc "${flags[@]}" "$work/host.c" -o "$work/static" $(pkg-config --cflags dvlib) ${static/-ldvlib/-Wl,-Bstatic -ldvlib -Wl,-Bdynamic}
printf '%s\n' 'cmake_minimum_required(VERSION 3.25)' 'project(host C)' 'find_package(dvlib REQUIRED COMPONENTS static)' \
  'add_executable(host host.c)' 'target_link_libraries(host PRIVATE dvlib::dvlib_static)' >"$work/CMakeLists.txt"
cmake -S "$work" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null && cmake --build "$work/cmake" >/dev/null
if readelf -d "$work/static" | grep -q libdvlib; then fail "the static host loads libdvlib.so"; fi

"$work/prefix/bin/ozmira-export" -q -f 37 -o "$work" "$clip"
want=$(convert "$work/frame-000037.png" -depth 8 rgb:- | md5sum)
for host in shared static cmake/host; do
  out=$(LD_LIBRARY_PATH=$libdir "$work/$host" "$clip" 37 "$work/got.rgb" 2>/dev/null) || fail "$host failed"
  [[ $out == *"Number of frames                : 50"* ]] || fail "$host printed: $out"
  [[ $(md5sum <"$work/got.rgb") == "$want" ]] || fail "$host decoded frame 37 otherwise than ozmira-export"
done
echo "install test: 3 hosts passed"
