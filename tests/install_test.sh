#!/usr/bin/env bash
# A C host built as users build one, against the installed static dvlib with the C compiler alone (the library must
# need no C++ runtime), opening a clip, decoding a frame and reading its facts and sound; one that loads and
# unloads the shared library; then the installed man pages render without a warning.
#   install_test.sh BUILD_DIR CLIP_DIR
set -euo pipefail
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cmake --install "$1" --prefix "$work" >/dev/null
PKG_CONFIG_PATH=$(dirname "$(find "$work" -name dvlib.pc)") && export PKG_CONFIG_PATH
# The host draws frame 7 in every output format through the named constants (576 rows of 2880 bytes serve each);
# packed RGB must be what dvreadframe gives. Then, for frame 7 of each clip, every format at both requests as a line
# of OUT: clip, request, format, result and a hash of the picture, which the build's own library must match.
echo '#include <dvlib.h>
#include <string.h>
static unsigned long long fnv(const unsigned char *p, size_t n) {
  unsigned long long h = 14695981039346656037ULL; while (n--) h = (h ^ *p++) * 1099511628211ULL; return h; }
#define TEXT(x) #x
#define DIGITS(a, b, c) TEXT(a) "." TEXT(b) "." TEXT(c)
#define VERSION DIGITS(DVLIB_VERSION_MAJOR, DVLIB_VERSION_MINOR, DVLIB_VERSION_PATCH)
static void count_line(const char *line, void *user) { *(int *)user += line[strlen(line) - 1] == 10; }
int main(int c, char **v) { static unsigned char block[144000], rgb[1244160], pic[576 * 2880], *rows[576];
  dvinit(); dvfile *f = c >= 3 ? dvopen(v[2]) : NULL; FILE *out = c >= 3 ? fopen(v[1], "w") : NULL; int ok = 1, pitch = 2880;
  if (!f || !out || dvreadframe(f, rgb, 7) != 1 || dv_fseek64(f->file, 7, SEEK_SET) || fread(block, 144000, 1, f->file) != 1) return 1;
  for (int r = 0; r < 576; r++) rows[r] = pic + r * 2880;
  for (int format = DVLIB_FORMAT_YUY2; format <= DVLIB_FORMAT_QUARTER_RGB0; format++)
    ok &= dvreadformat(block, format, rows, &pitch, DVLIB_REQUEST_FULL);
  pitch = 2160, ok &= dvreadformat(block, DVLIB_FORMAT_RGB, rows, &pitch, DVLIB_REQUEST_FULL);
  ok &= !memcmp(pic, rgb, sizeof rgb) && dvdamagedsegments() == 0 && !strcmp(dvversion(), VERSION);
  static unsigned char raw[144000];
  static short sound[DVLIB_AUDIO_MAX_SAMPLES];
  dvframeinfo info = {sizeof info};
  int logged = 0, rate = 0, channels = 0;
  dvsetlog(count_line, &logged);
  ok &= dvreadraw(f, raw, 7) && !memcmp(raw, block, sizeof raw) && !dvreadraw(f, raw, -1) && logged == 1;
  dvsetlog(NULL, NULL);
  ok &= dvcountframes(f->file) == f->num_frames && dvreadinfo(block, &info) == 1 && info.video_blocks == 1620;
  ok &= dvreadaudio(block, sound, &rate, &channels) == info.audio_samples && channels == info.audio_channels;
  ok &= dvclose(f) == 0;
  for (int a = 2; a < c; a++) { FILE *clip = fopen(v[a], "rb");
    if (!clip || fseek(clip, 7L * 144000, SEEK_SET) || fread(block, 144000, 1, clip) != 1 || fclose(clip)) return 1;
    for (int request = DVLIB_REQUEST_FULL; request <= DVLIB_REQUEST_DC; request += DVLIB_REQUEST_DC - DVLIB_REQUEST_FULL)
      for (int format = DVLIB_FORMAT_YUY2; format <= DVLIB_FORMAT_QUARTER_RGB0; format++) {
        memset(pic, 0, sizeof pic), pitch = format == DVLIB_FORMAT_YUY2 ? 1440 : format == DVLIB_FORMAT_RGB ? 2160 : 2880;
        const int drew = dvreadformat(block, format, rows, &pitch, request);
        fprintf(out, "%s %d %d %d %llx\n", v[a], request, format, drew, fnv(pic, sizeof pic)); } }
  return !(ok && fclose(out) == 0); }' >"$work/host.c"
flags=$(pkg-config --cflags dvlib) libs=$(pkg-config --static --libs dvlib)
# shellcheck disable=SC2086
cc -std=c99 -Wpedantic -Werror "$work/host.c" -o "$work/host" $flags ${libs/-ldvlib/-Wl,-Bstatic -ldvlib -Wl,-Bdynamic}
for page in "$work"/share/man/man1/ozmira.1.gz "$work"/share/man/man1/ozmira-export.1.gz "$work"/share/man/man3/dvlib.3.gz; do
  [[ -z $(zcat "$page" | groff -man -Tascii -ww -z 2>&1) ]] || { echo "$page does not render cleanly" >&2; exit 1; }
done
# A host that loads the shared library, decodes with its threads and unloads it, three times over: the library
# must stay mapped, for its threads outlive the dlclose.
echo '#include <dlfcn.h>
#include <stdio.h>
int main(int c, char **v) { static unsigned char block[144000], rgb[1244160];
  FILE *clip = fopen(v[2], "rb");
  if (c != 3 || !clip || fread(block, sizeof block, 1, clip) != 1) return 1;
  for (int round = 0; round < 3; round++) {
    void *lib = dlopen(v[1], RTLD_NOW);
    int (*read_block)(const unsigned char *, unsigned char *, int, int) = lib ? dlsym(lib, "dvreadblock") : NULL;
    if (!read_block || read_block(block, rgb, 2, 0) != 1 || dlclose(lib)) return 1;
    if (!dlopen(v[1], RTLD_NOW | RTLD_NOLOAD)) return 2;  /* unmapped under its own decode threads */
    dlclose(lib);
  }
  return 0; }' >"$work/loader.c"
cc -std=gnu99 -Werror "$work/loader.c" -o "$work/loader" -ldl
"$work/loader" "$(find "$work" -name 'libdvlib.so' | head -n 1)" "$2/pal420.dv" 2>/dev/null
clips=(pal420.dv pal420_248.dv pal411.dv ntsc.dv mandelbrot.dv)
"$work/host" "$work/drawn" "${clips[@]/#/$2/}" >/dev/null 2>&1
if readelf -d "$work/host" | grep -q 'libdvlib\|libstdc++'; then echo "the host needs a shared library" >&2; exit 1; fi
[[ $(wc -l <"$work/drawn") == $((${#clips[@]} * 2 * 15)) ]]
OZMIRA_INSTALLED_HOST_DRAWN=$work/drawn "$1/tests/dvlib_tests" --gtest_filter='InstalledHost.*' --gtest_brief=1
