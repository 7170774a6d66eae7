#include "frame_header.h"

namespace ozmira {
namespace {

constexpr int kDsfByte = 3;
constexpr uint8_t kDsfBit = 0x80;

}  // namespace

int DifSequencesMarked(const uint8_t *frame) {
  return (frame[kDsfByte] & kDsfBit) != 0 ? kDifSequences625 : kDifSequences525;
}

bool SystemMarksAgree(const dv_decoder_t *dv, const uint8_t *frame) {
  return dv->num_dif_seqs == DifSequencesMarked(frame);
}

int DifSequencesToWalk(const dv_decoder_t *dv, const uint8_t *frame) {
  if (dv->num_dif_seqs <= 0) return 0;
  const int marked = DifSequencesMarked(frame);
  return dv->num_dif_seqs < marked ? dv->num_dif_seqs : marked;
}

}  // namespace ozmira
