// dvreadarray: a frame block into a row-addressed RGB0 image.
#include <cstdio>

#include "dvlib.h"
#include "library_state.h"

using namespace ozmira::dvlib;

extern "C" int dvreadarray(const unsigned char *block, unsigned char **rows, int format, int flags) {
  if (block == nullptr || rows == nullptr) {
    LogLine("(dvreadarray:dvlib): '%s' was NULL - user must pass a frame block and row pointers.\n",
            block == nullptr ? "block" : "rows");
    return 0;
  }
  const CallGuard guard("dvreadarray");
  if (guard.refused()) return 0;
  dv_decoder_t *dv = decoder_for_block("dvreadarray", block);
  if (dv == nullptr) return 0;
  if ((format | flags) != kRequestFull) return 0;
  // The row-addressed format finds lines through `rows`; the pitch is passed
  // only because the frame decoder reads one.
  int pitches[1] = {dv->width * kRgbBytes};
  const int decoded =
      decode_block("dvreadarray", dv, block, ozmira::b_dv_color_RGB, rows, pitches, kQualityFull);
  // The frame decoder reports each 4:1:1 macroblock, which this layout cannot
  // hold, and draws none of them: nothing was decoded into the lines.
  return dv->sampling == e_dv_sample_411 ? 0 : decoded;
}
