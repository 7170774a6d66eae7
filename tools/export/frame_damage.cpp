#include "frame_damage.h"

#include <libdv/dv.h>

#include "dif_packs.h"
#include "frame_decoder.h"

namespace ozmira::frame_export {
namespace {

constexpr int kStatusByte = 3, kStatusShift = 4;  // STA: the high nibble of a video block's fourth byte
constexpr unsigned kQualityFull = 5;              // colour, DC and all AC coefficients: every code is read
// A format number outside the fifteen: the frame decoder parses and checks
// every segment and draws nothing (and says nothing of 4:1:1 frames).
constexpr auto kDrawNothing = static_cast<ozmira::dv_color_space_t>(ozmira::kColorSpaceCount);

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
  int no_pitch = 0;
  ozmira::DecodeReport report;
  ozmira::dv_decode_full_frame(decoder_, block, kDrawNothing, nullptr, &no_pitch, &report);
  return report.damaged_segments;
}

}  // namespace ozmira::frame_export
