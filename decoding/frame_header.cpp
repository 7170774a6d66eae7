#include "frame_header.h"

namespace ozmira {
namespace {

constexpr int kDsfByte = 3;
constexpr uint8_t kDsfBit = 0x80;

}  // namespace

int dif_sequences_marked(const uint8_t *frame) {
  return (frame[kDsfByte] & kDsfBit) != 0 ? kDifSequences625 : kDifSequences525;
}

bool system_marks_agree(const dv_decoder_t *dv, const uint8_t *frame) {
  return dv->num_dif_seqs == dif_sequences_marked(frame);
}

int dif_sequences_to_walk(const dv_decoder_t *dv, const uint8_t *frame) {
  if (dv->num_dif_seqs <= 0) return 0;
  const int marked = dif_sequences_marked(frame);
  return dv->num_dif_seqs < marked ? dv->num_dif_seqs : marked;
}

}  // namespace ozmira
