// dvinit, dvstatus, dvreadblock and dvthreads: the process-wide decoder, the
// frame block calls on it with the steps they share, and the threads they may use.
#include <cstdio>

#include "color_tables.h"
#include "dvlib.h"
#include "frame_header.h"
#include "library_state.h"

namespace ozmira::dvlib {

dv_decoder_t *decoder = nullptr;
int init_done = 0;

dv_decoder_t *ready_decoder(const char *caller) {
  if (init_done != 1) {
    std::fprintf(stderr, "(%s:dvlib): Warning - dvinit not called yet, doing it for you\n", caller);
    dvinit();
  }
  return decoder;
}

int parse_frame_header(dv_decoder_t *dv, const unsigned char *block) {
  const int parsed = dv_parse_header(dv, block);
  if (parsed == -1 || !SystemMarksAgree(dv, block)) return -1;
  return parsed;
}

dv_decoder_t *decoder_for_block(const char *caller, const unsigned char *block) {
  dv_decoder_t *dv = ready_decoder(caller);
  if (dv == nullptr) return nullptr;
  if (parse_frame_header(dv, block) == -1) {
    std::fprintf(stderr, "(%s:dvlib): dv_parse_header failed - erm?\n", caller);
    return nullptr;
  }
  return dv;
}

int decode_block(const char *caller, dv_decoder_t *dv, const unsigned char *block, ColorSpace format,
                 unsigned char **pixels, int *pitches, unsigned quality) {
  dv->prev_frame_decoded = 0;
  dv->quality = quality;
  if (DecodeFrame(dv, block, format, pixels, pitches)) return 1;
  std::fprintf(stderr, "(%s:dvlib): the frame decoder could not decode the whole frame.\n", caller);
  return 0;
}

}  // namespace ozmira::dvlib

using namespace ozmira::dvlib;

extern "C" void dvinit(void) {
  static bool tables_built = false;
  if (!tables_built) {
    dv_init(0, 0);
    ozmira::InitColorTables();
    tables_built = true;
  }
  dv_decoder_t *fresh = dv_decoder_new(0, 0, 0);
  if (fresh == nullptr) {
    std::fputs("(dvinit:dvlib) Couldn't create the DV decoder\n", stderr);
    return;
  }
  // Nothing else holds the replaced decoder, so it is released, not leaked.
  if (decoder != nullptr) dv_decoder_free(decoder);
  decoder = fresh;
  decoder->quality = kQualityFull;
  init_done = 1;
}

extern "C" int dvstatus(const unsigned char *block, dvfile *status) {
  if (block == nullptr || status == nullptr) return -1;
  dv_decoder_t *dv = ready_decoder("dvstatus");
  if (dv == nullptr) return -1;
  const int parsed = parse_frame_header(dv, block);
  if (parsed == -1) return -1;
  status->block_size = kFrameBytes;
  status->x_size = dv->width;
  status->y_size = dv->height;
  status->code = dv->sampling;
  status->type = dv_frame_is_color(dv);
  return parsed;
}

extern "C" int dvreadblock(const unsigned char *block, unsigned char *image, int format, int flags) {
  if (block == nullptr || image == nullptr) {
    std::fprintf(stderr, "(dvreadblock:dvlib): '%s' was NULL - user must pass a frame block and an image.\n",
                 block == nullptr ? "block" : "image");
    return 0;
  }
  dv_decoder_t *dv = decoder_for_block("dvreadblock", block);
  if (dv == nullptr) return 0;
  unsigned quality;
  switch (format | flags) {
    case kRequestFull: quality = kQualityFull; break;
    case kRequestDc: quality = kQualityDc; break;
    default: return 0;
  }
  uint8_t *pixels[1] = {image};
  int pitches[1] = {dv->width * kRgbBytes};
  return decode_block("dvreadblock", dv, block, ozmira::e_dv_color_rgb, pixels, pitches, quality);
}

extern "C" int dvthreads(int count) {
  if (count < 0) {
    std::fprintf(stderr, "(dvthreads:dvlib): %d threads refused - ask for 1 or more, or 0 for one per core\n",
                 count);
    return -1;
  }
  return ozmira::SetDecodeThreads(count);
}
