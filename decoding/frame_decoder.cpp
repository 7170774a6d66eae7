#include "frame_decoder.h"

#include <cstdio>
#include <cstdlib>

#include "block_work.h"
#include "frame_header.h"
#include "libdv_internal.h"
#include "mb420_renderers.h"
#include "reader_room.h"
#include "segment_guard.h"

extern "C" {
int *pforerror = nullptr;
const char error_mess[49] = "Video Format Not implemented, possible bad data\n";
}

namespace ozmira {
namespace {

constexpr unsigned kDifBlockBytes = 80;
constexpr unsigned kHeaderBlocks = 6;  // header, two subcode, three VAUX
constexpr int kSegmentsPerSequence = 27;
constexpr int kMacroblocksPerSegment = 5;
constexpr int kRightEdgeX = 704;  // 4:1:1 macroblocks from here are 16 x 16

dv_videosegment_t vs;

struct PackedRenderers {
  void (*mb420)(dv_macroblock_t *, uint8_t **, int *);
  void (*mb411)(dv_macroblock_t *, uint8_t **, int *, int);
  void (*mb411_right)(dv_macroblock_t *, uint8_t **, int *, int);
};

const PackedRenderers kPackedRenderers[] = {
    {dv_mb420_YUY2, dv_mb411_YUY2, dv_mb411_right_YUY2},
    {dv_mb420_rgb, dv_mb411_rgb, dv_mb411_right_rgb},
    {dv_mb420_bgr0, dv_mb411_bgr0, dv_mb411_right_bgr0},
};

using ExtendedRenderer = void (*)(dv_macroblock_t *, uint8_t **, int);

// Each extended renderer with the blocks whose samples it reads; the others
// need no block work at all.
struct ExtendedFormat {
  ExtendedRenderer render;
  BlockSet reads;
};

const ExtendedFormat kExtendedFormats[] = {
    {dv_mb420_b_i, kLumaBlocks | kCrBlock},
    {dv_mb420_b_l, kLumaBlocks},
    {dv_mb420_b_rgb, kAllBlocks},
    {dv_mb420_b_ti, kTopLeftLuma | kCrBlock},
    {dv_mb420_b_tl, kTopLeftLuma | kCrBlock},
    {dv_mb420_b_trgb, kTopLeftLuma | kCrBlock | kCbBlock},
    {dv_mb420_b_hi, kNoBlocks},
    {dv_mb420_b_hl, kNoBlocks},
    {dv_mb420_b_hrgb, kAllBlocks},
    {dv_mb420_b_qi, kNoBlocks},
    {dv_mb420_b_ql, kNoBlocks},
    {dv_mb420_b_qrgb, kNoBlocks},
};

const ExtendedFormat &extended_format(dv_color_space_t color_space) {
  return kExtendedFormats[color_space - b_dv_color_I];
}

// The blocks whose samples the segment's rendering will read: the extended
// formats draw nothing of a 4:1:1 frame.
BlockSet blocks_read(const dv_decoder_t *dv, dv_color_space_t color_space) {
  if (color_space <= e_dv_color_bgr0) return kAllBlocks;
  if (dv->sampling == e_dv_sample_411) return kNoBlocks;
  return extended_format(color_space).reads;
}

// Places each macroblock of the parsed and transformed segment, then renders it.
template <typename Render>
void place_and_render(dv_decoder_t *dv, Render render) {
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    dv_macroblock_t *mb = &vs.mb[m];
    dv_place_macroblock(dv, &vs, mb, m);
    render(mb);
  }
}

void report_format_mismatch() {
  std::fputs(error_mess, stdout);
  if (pforerror != nullptr) *pforerror = 1;
}

// The format is chosen once per segment; each branch loops over the segment.
void render_segment(dv_decoder_t *dv, dv_color_space_t color_space, uint8_t **pixels,
                    int *pitches) {
  const bool sampling_411 = dv->sampling == e_dv_sample_411;
  if (color_space <= e_dv_color_bgr0) {
    const PackedRenderers &r = kPackedRenderers[color_space];
    if (sampling_411) {
      const int setup = dv->add_ntsc_setup;
      place_and_render(dv, [&](dv_macroblock_t *mb) {
        (mb->x >= kRightEdgeX ? r.mb411_right : r.mb411)(mb, pixels, pitches, setup);
      });
    } else {
      place_and_render(dv, [&](dv_macroblock_t *mb) { r.mb420(mb, pixels, pitches); });
    }
    return;
  }
  const int pitch = pitches[0];
  if (sampling_411) {
    place_and_render(dv, [](dv_macroblock_t *) { report_format_mismatch(); });
  } else {
    const ExtendedRenderer render = extended_format(color_space).render;
    place_and_render(dv, [&](dv_macroblock_t *mb) { render(mb, pixels, pitch); });
  }
}

// The one bit-stream reader, created on first use and kept for the process.
void ensure_segment_reader() {
  if (vs.bs != nullptr) return;
  vs.bs = _dv_bitstream_init();
  if (vs.bs == nullptr) {
    std::fputs("no memory for bitstream!\n", stderr);
    std::exit(-1);
  }
}

}  // namespace

bool decode_video_segment(dv_decoder_t *dv, const uint8_t *segment, int ds, int v, dv_color_space_t color_space,
                          uint8_t **pixels, int *pitches) {
  ensure_segment_reader();
  vs.isPAL = dv->system == e_dv_system_625_50;
  // libdv reads the segment from a copy with room behind it (reader_room.h).
  const uint8_t *copy = copy_into_reader_room(segment);
  _dv_bitstream_new_buffer(vs.bs, const_cast<uint8_t *>(copy), kSegmentBytes);  // libdv only reads it
  // A segment whose AC codes would carry libdv's parser outside its blocks or
  // tables (segment_guard.h) is decoded from its DC coefficients alone.
  unsigned quality = dv->quality;
  const bool intact = ac_parse_stays_in_bounds(copy, quality);
  if (!intact) quality &= ~DV_QUALITY_AC_MASK;
  dv_parse_video_segment(&vs, quality);
  vs.i = ds;
  vs.k = v;
  // Compared as unsigned, so negative values select no rendering either.
  if (static_cast<unsigned>(color_space) >= kColorSpaceCount) return intact;
  transform_segment(&vs, quality, blocks_read(dv, color_space));
  render_segment(dv, color_space, pixels, pitches);
  return intact;
}

bool dv_decode_full_frame(dv_decoder_t *dv, const uint8_t *buffer, dv_color_space_t color_space,
                          uint8_t **pixels, int *pitches, DecodeReport *report) {
  if (report != nullptr) *report = {};
  ensure_segment_reader();  // even when there is nothing to walk
  unsigned dif = 0;
  const int sequences = dif_sequences_to_walk(dv, buffer);
  for (int ds = 0; ds < sequences; ++ds) {
    dif += kHeaderBlocks;
    for (int v = 0; v < kSegmentsPerSequence; ++v) {
      if (v % 3 == 0) ++dif;  // the audio block ahead of every third segment
      const bool intact = decode_video_segment(dv, buffer + dif * kDifBlockBytes, ds, v, color_space, pixels, pitches);
      if (!intact && report != nullptr) ++report->damaged_segments;
      dif += kMacroblocksPerSegment;
    }
  }
  return sequences == dv->num_dif_seqs;
}

}  // namespace ozmira
