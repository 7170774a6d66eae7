#!/usr/bin/env bash
# A C host built as users build one, against the installed static dvlib with the C compiler alone (the library must
# need no C++ runtime), opening a clip and decoding a frame; then the installed man pages render without a warning.
#   install_test.sh BUILD_DIR CLIP_DIR
set -euo pipefail
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cmake --install "$1" --prefix "$work" >/dev/null
PKG_CONFIG_PATH=$(dirname "$(find "$work" -name dvlib.pc)") && export PKG_CONFIG_PATH
# The host draws frame 7 in every output format through the named constants (576 rows of 2880 bytes serve each);
# packed RGB must be what dvreadframe gives.
echo '#include <dvlib.h>
#include <string.h>
int main(int c, char **v) { static unsigned char block[144000], rgb[1244160], pic[576 * 2880], *rows[576];
  dvinit(); dvfile *f = c == 2 ? dvopen(v[1]) : NULL; int ok = 1, pitch = 2880;
  if (!f || dvreadframe(f, rgb, 7) != 1 || dv_fseek64(f->file, 7, SEEK_SET) || fread(block, 144000, 1, f->file) != 1) return 1;
  for (int r = 0; r < 576; r++) rows[r] = pic + r * 2880;
  for (int format = DVLIB_FORMAT_YUY2; format <= DVLIB_FORMAT_QUARTER_RGB0; format++)
    ok &= dvreadformat(block, format, rows, &pitch, DVLIB_REQUEST_FULL);
  pitch = 2160, ok &= dvreadformat(block, DVLIB_FORMAT_RGB, rows, &pitch, DVLIB_REQUEST_FULL);
  return !(ok && !memcmp(pic, rgb, sizeof rgb) && dvclose(f) == 0); }' >"$work/host.c"
flags=$(pkg-config --cflags dvlib) libs=$(pkg-config --static --libs dvlib)
# shellcheck disable=SC2086
cc -std=c99 -Wpedantic -Werror "$work/host.c" -o "$work/host" $flags ${libs/-ldvlib/-Wl,-Bstatic -ldvlib -Wl,-Bdynamic}
for page in "$work"/share/man/man1/ozmira.1.gz "$work"/share/man/man1/ozmira-export.1.gz "$work"/share/man/man3/dvlib.3.gz; do
  [[ -z $(zcat "$page" | groff -man -Tascii -ww -z 2>&1) ]] || { echo "$page does not render cleanly" >&2; exit 1; }
done
"$work/host" "$2/pal420.dv" 2>/dev/null && ! readelf -d "$work/host" | grep -q 'libdvlib\|libstdc++'
