// One video segment through the frame decoder's per-segment step in all
// fifteen formats into full-size images, at a thousandth of a frame's work.
// Byte 0 chooses the header (bit 0: 4:1:1, not 4:2:0; bit 1: DC only, not full
// detail), bytes 1 and 2 the DIF sequence and segment; then the segment's 400
// bytes, zero-filled. Wherever the segment guard lets libdv's first AC pass
// run, the pass is also run alone on a copy ending 8 bytes later at an
// inaccessible page, into a record between canaries: it must leave every
// block's fields sane.
#include <array>
#include <deque>

#include "color_tables.h"
#include "frame_decoder.h"
#include "fuzz_support.h"
#include "libdv_internal.h"
#include "segment_guard.h"

extern "C" int8_t dv_reorder[2][64];
using namespace ozmira;

namespace {

dv_decoder_t *decoder_for(uint8_t apt) {  // 625/50; application ID 0 is IEC 61834 (4:2:0), 1 SMPTE 314M (4:1:1)
  std::vector<uint8_t> frame(fuzz::kPalFrameBytes, 0);
  std::memset(frame.data(), 0xff, 80), std::memset(&frame[3 * 80], 0xff, 3 * 80);  // no packs
  const uint8_t header[] = {0x1f, 0x07, 0x00, 0xbf, uint8_t(0xf8 | apt), uint8_t(0x78 | apt), uint8_t(0x78 | apt),
                            uint8_t(0x78 | apt)};
  std::memcpy(frame.data(), header, sizeof header);
  for (uint8_t b = 0; b < 3; ++b) std::memcpy(&frame[(3 + b) * 80], std::array<uint8_t, 3>{0x56, 0x07, b}.data(), 3);
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  if (dv == nullptr || dv_parse_header(dv, frame.data()) == -1 || dv->sampling != (apt ? e_dv_sample_411 : e_dv_sample_420))
    std::abort();  // the harness itself is wrong
  return dv;
}

void check_first_pass(const uint8_t *segment, unsigned quality) {
  static fuzz::Guarded copy(kSegmentBytes + 8);  // the reader fetches two words at a time
  static struct { uint8_t before[256]; dv_videosegment_t vs; uint8_t after[256]; } box{};
  if ((quality & DV_QUALITY_AC_MASK) == DV_QUALITY_DC || !ac_parse_stays_in_bounds(segment, quality)) return;
  if (box.vs.bs == nullptr) box.vs.bs = _dv_bitstream_init();
  std::memcpy(copy.data(), segment, kSegmentBytes);
  std::memset(box.before, 0xa5, sizeof box.before), std::memset(box.after, 0xa5, sizeof box.after);
  _dv_bitstream_new_buffer(box.vs.bs, copy.data(), kSegmentBytes);
  dv_parse_video_segment(&box.vs, (quality & DV_QUALITY_COLOR) | DV_QUALITY_AC_1);
  for (size_t i = 0; i < sizeof box.before; ++i)
    if (box.before[i] != 0xa5 || box.after[i] != 0xa5) std::abort();
  for (int m = 0; m < 5; ++m)
    for (int b = 0; b < (quality & DV_QUALITY_COLOR ? 6 : 4); ++b) {
      const dv_block_t &bl = box.vs.mb[m].b[b];
      const int end = m * 640 + dv_parse_bit_end[b];
      if (bl.dct_mode < 0 || bl.dct_mode > 1 || bl.class_no < 0 || bl.class_no > 3 || bl.end != end ||
          bl.offset > end || bl.reorder < &dv_reorder[0][0] || bl.reorder > &dv_reorder[1][63] + 1)
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static dv_decoder_t *pal420 = decoder_for(0), *pal411 = decoder_for(1);
  static fuzz::Guarded segment(kSegmentBytes);
  static std::deque<fuzz::Image> images;
  if (images.empty()) {
    fuzz::discard_stdout(), dv_rgb_init();
    for (int f = 0; f < kColorSpaceCount; ++f) images.emplace_back(f);
  }
  uint8_t choice[3] = {};
  std::memcpy(choice, data, std::min<size_t>(size, 3));
  const uint8_t *bytes = segment.fill(data + std::min<size_t>(size, 3), size - std::min<size_t>(size, 3));
  dv_decoder_t *dv = choice[0] & 1 ? pal411 : pal420;
  dv->quality = choice[0] & 2 ? 1 : 5;
  check_first_pass(bytes, dv->quality);
  for (int f = 0; f < kColorSpaceCount; ++f)
    decode_video_segment(dv, bytes, choice[1] % 12, choice[2] % 27, ozmira::dv_color_space_t(f), images[f].pixels(),
                         &images[f].pitch);
  return 0;
}
