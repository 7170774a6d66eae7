#!/usr/bin/env bash
# A C host on the installed static dvlib (no C++ runtime); the shared library unloaded; man pages.
#   install_test.sh BUILD_DIR CLIP_DIR
set -euo pipefail
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cmake --install "$1" --prefix "$work" >/dev/null
PKG_CONFIG_PATH=$(dirname "$(find "$work" -name dvlib.pc)") && export PKG_CONFIG_PATH
# Frame 7 through the named constants.
echo '#include <dvlib.h>
#include <string.h>
#define TEXT(x) #x
#define DIGITS(a, b, c) TEXT(a) "." TEXT(b) "." TEXT(c)
#define VERSION DIGITS(DVLIB_VERSION_MAJOR, DVLIB_VERSION_MINOR, DVLIB_VERSION_PATCH)
int main(int c, char **v) {
  static unsigned char block[144000], pic[576 * 2880], *rows[576];
  static short sound[DVLIB_AUDIO_MAX_SAMPLES];
  dvframeinfo info = {sizeof info};
  int ok = 1, pitch = 2880, rate = 0, channels = 0;
  dvinit();
  dvfile *f = c == 2 ? dvopen(v[1]) : NULL;
  if (!f || dvreadframe(f, pic, 7) != 1 || !dvreadraw(f, block, 7)) return 1;
  for (int r = 0; r < 576; r++) rows[r] = pic + r * 2880;
  for (int format = DVLIB_FORMAT_YUY2; format <= DVLIB_FORMAT_QUARTER_RGB0; format++)
    ok &= dvreadformat(block, format, rows, &pitch, DVLIB_REQUEST_FULL);
  ok &= dvdamagedsegments() == 0 && !strcmp(dvversion(), VERSION) && dvcountframes(f->file) == f->num_frames;
  ok &= dvreadinfo(block, &info) == 1 && info.video_blocks == 1620;
  ok &= dvreadaudio(block, sound, &rate, &channels) == info.audio_samples && channels == info.audio_channels;
  return !(ok && dvclose(f) == 0);
}' >"$work/host.c"
flags=$(pkg-config --cflags dvlib) libs=$(pkg-config --static --libs dvlib)
# shellcheck disable=SC2086
cc -std=c99 -Wpedantic -Werror "$work/host.c" -o "$work/host" $flags ${libs/-ldvlib/-Wl,-Bstatic -ldvlib -Wl,-Bdynamic}
for page in "$work"/share/man/man1/ozmira.1.gz "$work"/share/man/man1/ozmira-export.1.gz "$work"/share/man/man3/dvlib.3.gz; do
  [[ -z $(zcat "$page" | groff -man -Tascii -ww -z 2>&1) ]] || { echo "$page does not render cleanly" >&2; exit 1; }
done
"$work/host" "$2/meta169.dv" >/dev/null 2>&1
if readelf -d "$work/host" | grep -q 'libdvlib\|libstdc++'; then echo "the host needs a shared library" >&2; exit 1; fi
# Unloaded three times, the library stays mapped under its threads.
echo '#include <dlfcn.h>
#include <stdio.h>
int main(int c, char **v) {
  static unsigned char block[144000], rgb[1244160];
  FILE *clip = fopen(v[2], "rb");
  if (c != 3 || !clip || fread(block, sizeof block, 1, clip) != 1) return 1;
  for (int round = 0; round < 3; round++) {
    void *lib = dlopen(v[1], RTLD_NOW);
    int (*read_block)(const unsigned char *, unsigned char *, int, int) = lib ? dlsym(lib, "dvreadblock") : NULL;
    if (!read_block || read_block(block, rgb, 2, 0) != 1 || dlclose(lib)) return 1;
    if (!dlopen(v[1], RTLD_NOW | RTLD_NOLOAD)) return 2; /* unmapped under its own decode threads */
    dlclose(lib);
  }
  return 0;
}' >"$work/loader.c"
cc -std=gnu99 -Werror "$work/loader.c" -o "$work/loader" -ldl
"$work/loader" "$(find "$work" -name 'libdvlib.so' | head -n 1)" "$2/pal420.dv" 2>/dev/null
