#include "frame_damage.h"

#include <libdv/dv.h>

#include "dif_packs.h"
#include "frame_decoder.h"

namespace ozmira::frame_export {
namespace {

constexpr int kStatusByte = 3, kStatusShift = 4;  // STA: the high nibble of a video block's fourth byte
constexpr unsigned kQualityFull = 5;              // colour, DC and all AC coefficients: every code is read
constexpr int kWidth = 720, kMostLines = 576, kYuy2Bytes = 2;

}  // namespace

int count_flagged_blocks(const uint8_t *block) {
  int flagged = 0;
  for (int sequence = 0; sequence < kPalSequences; ++sequence) {
    for (int index = 0; index < kBlocksPerSequence; ++index) {
      if (!is_video_block(index)) continue;
      const uint8_t *dif = block + (sequence * kBlocksPerSequence + index) * kDifBlockBytes;
      if ((dif[kStatusByte] >> kStatusShift) != 0) ++flagged;
    }
  }
  return flagged;
}

SegmentDamageCounter::~SegmentDamageCounter() {
  if (decoder_ != nullptr) dv_decoder_free(decoder_);
}

int SegmentDamageCounter::count(const uint8_t *block) {
  if (decoder_ == nullptr) decoder_ = dv_decoder_new(0, 0, 0);
  if (decoder_ == nullptr || dv_parse_header(decoder_, block) == -1) return -1;
  decoder_->quality = kQualityFull;
  decoder_->prev_frame_decoded = 0;
  // A whole decode in libdv's own YUY2 format, which serves every sampling
  // and header and is not kept: only the report is wanted.
  scratch_.resize(static_cast<size_t>(kWidth) * kMostLines * kYuy2Bytes);
  uint8_t *pixels[1] = {scratch_.data()};
  int pitches[1] = {kWidth * kYuy2Bytes};
  ozmira::DecodeReport report;
  ozmira::DecodeFrame(decoder_, block, ozmira::e_dv_color_yuv, pixels, pitches, &report);
  return report.damaged_segments;
}

}  // namespace ozmira::frame_export
