#include "segment_guard.h"

#include "libdv_internal.h"

namespace ozmira {
namespace {

constexpr int kMacroblocksPerSegment = 5;
constexpr int kMacroblockBits = 80 * 8;  // one DIF block per macroblock
constexpr int kColourBlocks = 6, kLumaBlocks = 4;
constexpr int kModeBitBeforeAc = 3;      // dct_mode, then two class bits, then AC
constexpr int kOrderTableEntries = 128;  // dv_reorder: 64 for each dct_mode
constexpr int kCodingsPerBlock = 64;
constexpr int kFastDecodeBits = 16;      // below this libdv decodes with the bit limit

bool bit_at(const uint8_t *segment, int bit) { return (segment[bit >> 3] >> (7 - (bit & 7))) & 1; }

// What libdv's pass shows its code decoder at bit `offset`: three bytes
// shifted so that the next unread bit is bit 15 (consumed bits stay above it).
int shown_bits(const uint8_t *segment, int offset) {
  const uint8_t *p = segment + (offset >> 3);
  const int three_bytes = (p[0] << 16) | (p[1] << 8) | p[2];
  return three_bytes >> (8 - (offset & 7));
}

// Follows libdv's first pass over one block: true when it stays inside the
// block's bits and every code's run keeps the order-table position inside
// dv_reorder.
bool block_stays_in_bounds(const uint8_t *segment, int offset, int end, int dct_mode) {
  int position = dct_mode * kCodingsPerBlock + 1;  // &dv_reorder[dct_mode][1]
  for (;;) {
    const int bits_left = end - offset;
    const int bits = shown_bits(segment, offset);
    dv_vlc_t vlc;
    if (bits_left < kFastDecodeBits) {
      dv_decode_vlc(bits, bits_left, &vlc);
    } else {
      __dv_decode_vlc(bits, &vlc);
    }
    if (vlc.run < 0) return true;  // end of block, or a code cut short: the pass stops
    // Some invalid codes decode with run 0 and len -2; the pass does not stop
    // at them but adds the length as an unsigned byte, leaving its block.
    offset += static_cast<uint8_t>(vlc.len);
    if (offset > end) return false;
    position += vlc.run;
    if (position >= kOrderTableEntries) return false;
    ++position;
  }
}

}  // namespace

bool ac_parse_stays_in_bounds(const uint8_t *segment, unsigned quality) {
  if ((quality & DV_QUALITY_AC_MASK) == DV_QUALITY_DC) return true;  // no AC pass at all
  const int blocks = quality & DV_QUALITY_COLOR ? kColourBlocks : kLumaBlocks;
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const int macroblock_start = m * kMacroblockBits;
    for (int b = 0; b < blocks; ++b) {
      const int ac_start = macroblock_start + dv_parse_bit_start[b];
      const int dct_mode = bit_at(segment, ac_start - kModeBitBeforeAc);
      if (!block_stays_in_bounds(segment, ac_start, macroblock_start + dv_parse_bit_end[b], dct_mode)) return false;
    }
  }
  return true;
}

}  // namespace ozmira
