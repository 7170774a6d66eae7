#include "harness_memory.h"

#include <cstdio>
#include <cstring>

#include <libdv/dv.h>

namespace ozmira::fuzz {

ImageShape shape_of_format(int format) {
  constexpr int kThumbRows = kPalHeight / 8, kThumbColumns = kWidth / 8 + 2;  // patches overlap by two
  switch (format) {
    case 0: return {kPalHeight, kWidth * 2};                  // YUY2
    case 1: return {kPalHeight, kWidth * 3};                  // RGB
    case 4: return {kPalHeight, kWidth};                      // luminance bytes
    case 6: case 8: return {kThumbRows, kThumbColumns * 4};   // int and RGB0 thumbnails
    case 7: return {kThumbRows, kThumbColumns};               // byte thumbnail
    case 11: return {kPalHeight / 2, kWidth / 2 * 4};         // half-size RGB0
    default: return {kPalHeight, kWidth * 4};                 // BGR0, full-size int and RGB0, no-draw formats
  }
}

GuardedImage::GuardedImage(ImageShape shape)
    : row_bytes_(shape.row_bytes), bytes_(static_cast<size_t>(shape.rows) * shape.row_bytes), rows_(shape.rows) {
  for (int r = 0; r < shape.rows; ++r) rows_[r] = bytes_.data() + static_cast<size_t>(r) * shape.row_bytes;
}

const uint8_t *guarded_copy(test::GuardedBuffer &block, const uint8_t *data, size_t size) {
  const size_t n = size < block.size() ? size : block.size();
  if (n > 0) std::memcpy(block.data(), data, n);
  std::memset(block.data() + n, 0, block.size() - n);
  return block.data();
}

size_t frame_bytes_of(const uint8_t *data, size_t size) {
  // The header parse reads the first sequence's header, VAUX and audio
  // blocks; a private decoder keeps dvlib's own untouched.
  static dv_decoder_t *probe = dv_decoder_new(0, 0, 0);
  static test::GuardedBuffer header(kPalFrameBytes);
  if (probe == nullptr) return kPalFrameBytes;
  if (dv_parse_header(probe, guarded_copy(header, data, size)) == -1) return kPalFrameBytes;
  return probe->num_dif_seqs == 10 ? kNtscFrameBytes : kPalFrameBytes;
}

void discard_stdout() {
  static char buffer[1 << 16];
  if (std::freopen("/dev/null", "w", stdout) != nullptr) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

}  // namespace ozmira::fuzz
