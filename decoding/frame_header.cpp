#include "frame_header.h"

namespace ozmira {
bool SystemMarksAgree(const dv_decoder_t *dv, const uint8_t *frame) {
  return dv->num_dif_seqs == DifSequencesMarked(frame);
}

int DifSequencesToWalk(const dv_decoder_t *dv, const uint8_t *frame) {
  if (dv->num_dif_seqs <= 0) return 0;
  const int marked = DifSequencesMarked(frame);
  return dv->num_dif_seqs < marked ? dv->num_dif_seqs : marked;
}

}  // namespace ozmira
