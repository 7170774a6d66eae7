#include "harness_memory.h"

#include <cstdio>
#include <cstring>

namespace ozmira::fuzz {

const uint8_t *guarded_copy(test::GuardedBuffer &block, const uint8_t *data, size_t size) {
  const size_t n = size < block.size() ? size : block.size();
  if (n > 0) std::memcpy(block.data(), data, n);
  std::memset(block.data() + n, 0, block.size() - n);
  return block.data();
}

size_t frame_bytes_of(const uint8_t *data, size_t size) {
  // The DSF bit (byte 3, bit 7), not libdv's header parse, which trusts a
  // VAUX pack that claims 50 fields; a missing byte is zero, as guarded_copy
  // fills it.
  constexpr uint8_t kDsf625 = 0x80;
  return size > 3 && (data[3] & kDsf625) != 0 ? kPalFrameBytes : kNtscFrameBytes;
}

void discard_stdout() {
  static char buffer[1 << 16];
  if (std::freopen("/dev/null", "w", stdout) != nullptr) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

}  // namespace ozmira::fuzz
