// Memory for the fuzz harnesses laid out so that libdv, which is not
// instrumented, still faults when it strays: every frame block and every
// image ends right at an inaccessible page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "guarded_buffer.h"

namespace ozmira::fuzz {

inline constexpr int kWidth = 720, kPalHeight = 576;
inline constexpr size_t kPalFrameBytes = 144000, kNtscFrameBytes = 120000;

// Rows and bytes per row that an output format writes for a PAL picture.
struct ImageShape {
  int rows, row_bytes;
};
ImageShape shape_of_format(int format);

// An image of exactly rows x row_bytes bytes, guarded at its end, with a row
// pointer per row: serves as a packed image (pixels()[0], pitch row_bytes)
// and as a row-pointer image alike.
class GuardedImage {
 public:
  explicit GuardedImage(ImageShape shape);
  uint8_t **pixels() { return rows_.data(); }
  int *pitches() { return &row_bytes_; }
  uint8_t *data() { return bytes_.data(); }

 private:
  int row_bytes_;
  test::GuardedBuffer bytes_;
  std::vector<uint8_t *> rows_;
};

// Copies `size` bytes of input into a guarded block of exactly `block_bytes`,
// zero-filling what the input does not cover, and returns the block.
const uint8_t *guarded_copy(test::GuardedBuffer &block, const uint8_t *data, size_t size);

// The bytes a whole frame with this header occupies, as libdv's header parse
// decides it (120000 for 525/60, else 144000).
size_t frame_bytes_of(const uint8_t *data, size_t size);

// Sends standard output, where the frame decoder reports every 4:1:1
// macroblock asked of an extended format, to /dev/null through a large buffer.
void discard_stdout();

}  // namespace ozmira::fuzz
