// One video segment through the segment parser, checked against libdv's at
// all eight qualities wherever ours meets no invalid code (a difference
// aborts), then through the frame decoder's per-segment step in all fifteen
// output formats: parse, block work, placement and every renderer, into
// full-size images. It does over a thousand times less work per run than a
// whole frame and reaches the same code.
//
// Input: byte 0 chooses the frame header (bit 0: 4:1:1 rather than 4:2:0;
// bit 1: DC coefficients only rather than full detail), byte 1 the DIF
// sequence (modulo 12), byte 2 the segment within it (modulo 27); the next
// 400 bytes are the segment, zero-filled when the input is shorter.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>

#include <libdv/dv.h>

#include "color_tables.h"
#include "frame_decoder.h"
#include "harness_memory.h"
#include "segment_oracle.h"

namespace {

using namespace ozmira;
using namespace ozmira::fuzz;

constexpr size_t kChoiceBytes = 3;
constexpr int kPalSequences = 12, kSegmentsPerSequence = 27;
constexpr uint8_t kChoose411 = 1, kChooseDcOnly = 2;
constexpr unsigned kQualityFull = 5, kQualityDc = 1, kQualities = 8;

// A 625/50 frame header and empty VAUX blocks; the application ID (apt) of
// the header block says IEC 61834 (4:2:0) when 0, SMPTE 314M (4:1:1) else.
dv_decoder_t *decoder_for(bool sampling_411) {
  constexpr size_t kBlock = 80, kVauxFirst = 3, kVauxBlocks = 3;
  static test::GuardedBuffer frame(kPalFrameBytes);
  std::memset(frame.data(), 0, frame.size());
  const uint8_t apt = sampling_411 ? 1 : 0;
  const uint8_t header[] = {0x1f, 0x07, 0x00, 0xbf, uint8_t(0xf8 | apt), uint8_t(0x78 | apt),
                            uint8_t(0x78 | apt), uint8_t(0x78 | apt)};
  std::memset(frame.data() + sizeof header, 0xff, kBlock - sizeof header);
  std::memcpy(frame.data(), header, sizeof header);
  for (size_t b = kVauxFirst; b < kVauxFirst + kVauxBlocks; ++b) {
    uint8_t *vaux = frame.data() + b * kBlock;
    const uint8_t id[] = {0x56, 0x07, uint8_t(b - kVauxFirst)};
    std::memcpy(vaux, id, sizeof id);
    std::memset(vaux + sizeof id, 0xff, kBlock - sizeof id);
  }
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  if (dv == nullptr || dv_parse_header(dv, frame.data()) == -1 || dv->system != e_dv_system_625_50 ||
      dv->num_dif_seqs != kPalSequences || dv->sampling != (sampling_411 ? e_dv_sample_411 : e_dv_sample_420)) {
    std::abort();  // the harness itself is wrong
  }
  return dv;
}

struct Harness {
  dv_decoder_t *pal420 = decoder_for(false), *pal411 = decoder_for(true);
  test::GuardedBuffer segment{kSegmentBytes};
  test::LibdvParser libdv;
  std::deque<RowImage> formats;  // one image per output format

  Harness() {
    discard_stdout();
    dv_rgb_init();
    for (int f = 0; f < kColorSpaceCount; ++f) formats.emplace_back(shape_of_format(f));
  }
};

Harness &harness() {
  static Harness h;
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Harness &h = harness();
  uint8_t choice[kChoiceBytes] = {};
  if (size > 0) std::memcpy(choice, data, size < kChoiceBytes ? size : kChoiceBytes);
  const size_t payload = size > kChoiceBytes ? size - kChoiceBytes : 0;
  // The segment ends at an inaccessible page: the decoder must not read past it.
  const uint8_t *segment = guarded_copy(h.segment, payload > 0 ? data + kChoiceBytes : data,
                                        payload < kSegmentBytes ? payload : kSegmentBytes);

  dv_decoder_t *dv = choice[0] & kChoose411 ? h.pal411 : h.pal420;
  dv->quality = choice[0] & kChooseDcOnly ? kQualityDc : kQualityFull;
  const int ds = choice[1] % kPalSequences, v = choice[2] % kSegmentsPerSequence;
  for (unsigned quality = 0; quality < kQualities; ++quality) {
    bool intact;
    if (!test::parse_difference(h.libdv, segment, quality, intact).empty()) std::abort();
  }
  for (int f = 0; f < kColorSpaceCount; ++f) {
    RowImage &image = h.formats[f];
    decode_video_segment(dv, segment, ds, v, static_cast<ozmira::dv_color_space_t>(f), image.pixels(),
                         image.pitches());
  }
  return 0;
}
