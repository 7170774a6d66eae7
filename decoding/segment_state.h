// What the segment parser keeps while it parses one segment: a private
// padded copy of the bits and each block's place in them. Shared by the
// first pass (segment_parser.cpp) and the later ones (spilled_codes.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include <libdv/dv_types.h>

#include "ac_codes.h"
#include "segment_parser.h"

namespace ozmira::segment {

inline constexpr int kBlocks = 6, kLumaBlocks = 4;
inline constexpr int kCoefficients = 64;
inline constexpr int kLoadBytes = 8;  // the bit reader loads this many bytes at once

// Coefficient order, as libdv stores it on x86: the zig-zag of 8-8 blocks
// transposed (its inverse DCT works on the transpose), the 2-4-8 order as is.
using Order = std::array<uint8_t, kCoefficients>;
extern const std::array<Order, 2> kOrder;  // by dct_mode

struct BlockCursor {
  int offset, end;  // bit positions within the segment
  int position;     // in kOrder: where the next coefficient goes, 1 to 64
  bool eob;         // its end-of-block code was read
  bool dropped;     // met an invalid code in its own area: parsed no further
};

struct SegmentState {
  alignas(16) uint8_t bits[kSegmentBytes + kLoadBytes];  // the segment, then zeros
  BlockCursor cursor[kMacroblocksPerSegment][kBlocks];
  int eob_count[kMacroblocksPerSegment];
  unsigned lenders[kMacroblocksPerSegment];  // bit b: block b is complete, with bits left
  int blocks;                                // parsed per macroblock: 4 without colour, else 6
  dv_macroblock_t *mb;
};

// The 16 bits from bit `offset` on, the first in bit 15; zeros past the
// segment. `offset` is at most the segment's bit count.
inline unsigned WindowAt(const SegmentState &s, int offset) {
  uint64_t word;
  std::memcpy(&word, s.bits + (offset >> 3), sizeof word);
  return static_cast<unsigned>((__builtin_bswap64(word) << (offset & 7)) >> (64 - ac_codes::kWindowBits));
}

enum class Stop {
  kStored,  // a coefficient: read on
  kEndOfBlock,
  kCutShort,  // the code runs past the bits at hand
  kInvalid,   // no code, or a run past the block's last coefficient
};

// What one whole code does to block (m, b). An end-of-block code marks the
// block complete.
inline Stop TakeCode(SegmentState &s, int m, int b, ac_codes::Code code) {
  BlockCursor &cursor = s.cursor[m][b];
  dv_block_t &block = s.mb[m].b[b];
  const unsigned run = ac_codes::run(code);
  // The markers' runs are 64 and more: one test for them and for overflow.
  if (cursor.position + run >= kCoefficients) {
    if (run != ac_codes::kEndOfBlock) return Stop::kInvalid;
    cursor.position = kCoefficients;
    cursor.eob = true;
    block.eob = 1;
    ++s.eob_count[m];
    return Stop::kEndOfBlock;
  }
  cursor.position += run;
  block.coeffs[kOrder[block.dct_mode][cursor.position]] = static_cast<dv_coeff_t>(ac_codes::amplitude(code));
  ++cursor.position;
  return Stop::kStored;
}

// Reads the codes of block (m, b) from bit `offset` on until its end-of-block
// code, a code cut short by `end`, or an invalid code; `offset` is left after
// the last code taken (the end-of-block code included).
Stop ReadCodes(SegmentState &s, int m, int b, int &offset, int end);

// The second and third passes (spilled_codes.cpp), for the blocks that the
// first left without their end-of-block code. False on an invalid code.
bool ParseSpilledCodes(SegmentState &s);

}  // namespace ozmira::segment
