// dvreadarray: a frame block into a row-addressed RGB0 image.
#include <cstdio>

#include "dvlib.h"
#include "frame_decoder.h"
#include "library_state.h"

using namespace ozmira::dvlib;

extern "C" int dvreadarray(const unsigned char *block, unsigned char **rows, int format, int flags) {
  if (block == nullptr || rows == nullptr) {
    std::fprintf(stderr, "(dvreadarray:dvlib): '%s' was NULL - user must pass a frame block and row pointers.\n",
                 block == nullptr ? "block" : "rows");
    return 0;
  }
  dv_decoder_t *dv = ready_decoder("dvreadarray");
  if (dv == nullptr) return 0;
  if (dv_parse_header(dv, block) == -1) {
    std::fputs("(dvreadarray:dvlib): dv_parse_header failed - erm?\n", stderr);
    return 0;
  }
  if ((format | flags) != kRequestFull) return 0;
  // The row-addressed format finds lines through `rows`; the pitch is passed
  // only because the frame decoder reads one.
  int pitches[1] = {dv->width * 3};
  dv->prev_frame_decoded = 0;
  dv->quality = kQualityFull;
  ozmira::dv_decode_full_frame(dv, block, ozmira::b_dv_color_RGB, rows, pitches);
  return 1;
}
