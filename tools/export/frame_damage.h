// Damage in a frame, counted two ways: video DIF blocks whose STA field
// carries an error flag (the recorder or a later copy marked them), and
// video segments whose codes were damaged, which the frame decoder draws
// from their DC coefficients alone.
#pragma once

#include <cstdint>
#include <vector>

#include <libdv/dv_types.h>

namespace ozmira::frame_export {

// Video DIF blocks of the 144000-byte frame with a non-zero STA field.
int count_flagged_blocks(const uint8_t *block);

class SegmentDamageCounter {
 public:
  SegmentDamageCounter() = default;
  ~SegmentDamageCounter();
  SegmentDamageCounter(const SegmentDamageCounter &) = delete;
  SegmentDamageCounter &operator=(const SegmentDamageCounter &) = delete;

  // Segments of the frame decoded from DC coefficients alone, by a full
  // decode into a picture of its own; -1 when the header does not parse or no
  // decoder can be had. Not re-entrant (the frame decoder is not).
  int count(const uint8_t *block);

 private:
  dv_decoder_t *decoder_ = nullptr;  // made on first use
  std::vector<uint8_t> scratch_;
};

}  // namespace ozmira::frame_export
