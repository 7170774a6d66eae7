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

// The 16 bits from bit `offset` on, as libdv's pass shows them to its code
// decoder (which looks at no other bits).
unsigned next_16_bits(const uint8_t *segment, int offset) {
  const uint8_t *p = segment + (offset >> 3);
  const unsigned three_bytes = (p[0] << 16) | (p[1] << 8) | p[2];
  return (three_bytes >> (8 - (offset & 7))) & 0xffff;
}

// libdv's decode of every 16-bit window, run and length, made once: calling
// libdv's decoder per code cost a tenth of a frame's decode. With fewer than
// 16 bits left, libdv's bit-limited decoder gives the same code, or stops
// where the code is longer than the bits left (checked for every window and
// limit when this was written).
struct Code {
  int8_t run;
  uint8_t length;  // as the pass adds it: the -2 of invalid codes is 254
};
Code code_table[1 << kFastDecodeBits];
bool code_table_built = false;

void build_code_table() {
  for (unsigned bits = 0; bits < (1u << kFastDecodeBits); ++bits) {
    dv_vlc_t vlc;
    __dv_decode_vlc(static_cast<int>(bits), &vlc);
    code_table[bits] = {vlc.run, static_cast<uint8_t>(vlc.len)};
  }
  code_table_built = true;
}

// Follows libdv's first pass over one block: true when it stays inside the
// block's bits and every code's run keeps the order-table position inside
// dv_reorder.
bool block_stays_in_bounds(const uint8_t *segment, int offset, int end, int dct_mode) {
  int position = dct_mode * kCodingsPerBlock + 1;  // &dv_reorder[dct_mode][1]
  for (;;) {
    const int bits_left = end - offset;
    const Code code = code_table[next_16_bits(segment, offset)];
    // The end of the block, or a code cut short: the pass stops.
    if (code.run < 0 || (bits_left < kFastDecodeBits && code.length > bits_left)) return true;
    // Some invalid codes decode with run 0 and length -2; the pass does not
    // stop at them but adds 254 to its offset, leaving its block.
    offset += code.length;
    if (offset > end) return false;
    position += code.run;
    if (position >= kOrderTableEntries) return false;
    ++position;
  }
}

}  // namespace

bool ac_parse_stays_in_bounds(const uint8_t *segment, unsigned quality) {
  if ((quality & DV_QUALITY_AC_MASK) == DV_QUALITY_DC) return true;  // no AC pass at all
  if (!code_table_built) build_code_table();
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
