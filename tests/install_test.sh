#!/usr/bin/env bash
# A C host built as users build one, against the installed static dvlib with the C compiler alone (the library must
# need no C++ runtime), opening a clip and decoding a frame.   install_test.sh BUILD_DIR CLIP_DIR
set -euo pipefail
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cmake --install "$1" --prefix "$work" >/dev/null
PKG_CONFIG_PATH=$(dirname "$(find "$work" -name dvlib.pc)") && export PKG_CONFIG_PATH
echo '#include <dvlib.h>
#include <stdlib.h>
int main(int c, char **v) { dvinit(); dvfile *f = c == 2 ? dvopen(v[1]) : NULL; unsigned char *rgb = malloc(1244160);
  return !(f && rgb && dvreadframe(f, rgb, 7) == 1 && dvclose(f) == 0); }' >"$work/host.c"
flags=$(pkg-config --cflags dvlib) libs=$(pkg-config --static --libs dvlib)
# shellcheck disable=SC2086
cc -std=c99 -Wpedantic -Werror "$work/host.c" -o "$work/host" $flags ${libs/-ldvlib/-Wl,-Bstatic -ldvlib -Wl,-Bdynamic}
"$work/host" "$2/pal420.dv" 2>/dev/null && ! readelf -d "$work/host" | grep -q 'libdvlib\|libstdc++'
