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

// A macroblock's bits in the masks of the segment's blocks.
inline constexpr uint32_t kMacroblockBits = (1u << kBlocks) - 1;

struct BlockCursor {
  int offset, end;  // bit positions within the segment
  int position;     // in kOrder: where the next coefficient goes, 1 to 64
};

struct SegmentState {
  alignas(16) uint8_t bits[kSegmentBytes + kLoadBytes];  // the segment, then zeros
  BlockCursor cursor[kMacroblocksPerSegment][kBlocks];
  // Over the segment's blocks, bit kBlocks * m + b for block b of macroblock
  // m (the cursors' order): complete (its end-of-block code read); complete
  // with bits left; neither complete nor dropped (an invalid code in its own
  // area), so for the later passes.
  uint32_t ended;
  uint32_t lenders;
  uint32_t pending;
  int blocks;           // parsed per macroblock: 4 without colour, else 6
  dv_macroblock_t *mb;  // null when nothing is kept
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

// Whether a parse keeps what it reads (ParseVideoSegment) or only follows the
// codes to find whether any is invalid (SegmentIntact).
enum class Keep { kCoefficients, kNothing };

// Marks block (m, b) complete: its end-of-block code was read.
template <Keep kKeep>
inline void EndBlock(SegmentState &s, int m, int b) {
  if constexpr (kKeep == Keep::kCoefficients) s.mb[m].b[b].eob = 1;
  s.ended |= 1u << (kBlocks * m + b);
}

// What one whole code does to block (m, b). An end-of-block code marks the
// block complete.
template <Keep kKeep>
inline Stop TakeCode(SegmentState &s, int m, int b, ac_codes::Code code) {
  BlockCursor &cursor = s.cursor[m][b];
  const unsigned run = ac_codes::run(code);
  // The markers' runs are 64 and more: one test for them and for overflow.
  if (cursor.position + run >= kCoefficients) {
    if (run != ac_codes::kEndOfBlock) return Stop::kInvalid;
    EndBlock<kKeep>(s, m, b);
    return Stop::kEndOfBlock;
  }
  cursor.position += run;
  if constexpr (kKeep == Keep::kCoefficients) {
    dv_block_t &block = s.mb[m].b[b];
    block.coeffs[kOrder[block.dct_mode][cursor.position]] =
        static_cast<dv_coeff_t>(ac_codes::amplitude(code));
  }
  ++cursor.position;
  return Stop::kStored;
}

// Reads the codes of block (m, b) from bit `offset_io` on until its
// end-of-block code, a code cut short by `end`, or an invalid code;
// `offset_io` is left after the last code taken (the end-of-block code
// included). Inlined into both callers: a call's set-up costs as much as a
// few codes, and a block's area holds few.
template <Keep kKeep>
[[gnu::always_inline]] inline Stop ReadCodes(SegmentState &s, int m, int b, int &offset_io, int end) {
  // The loop keeps everything it changes in locals: the stores into the
  // coefficients would otherwise make the compiler reload it all per code.
  BlockCursor &cursor = s.cursor[m][b];
  constexpr bool kStores = kKeep == Keep::kCoefficients;
  dv_coeff_t *coeffs = kStores ? s.mb[m].b[b].coeffs : nullptr;
  const uint8_t *order = kStores ? kOrder[s.mb[m].b[b].dct_mode].data() : nullptr;
  const ac_codes::Code *short_codes = ac_codes::kShortCodes.data(), *long_codes = ac_codes::kLongCodes.data();
  // Each in one register: left to itself, the compiler splits the pointers
  // into sums it adds up again per code, or reloads them.
  asm("" : "+r"(coeffs), "+r"(order));
  // The place of the last coefficient stored (the block's place less one):
  // a code's step lands on its coefficient's place.
  size_t last = static_cast<size_t>(cursor.position) - 1;
  // `left` counts the area's bits not yet taken, the next of them at the top
  // of `cache`. The cache is refilled from the copy once `left` falls below
  // `refill_below`, where fewer than a window's worth of it would remain; one
  // counter serves both the area's end and the refill.
  unsigned left = static_cast<unsigned>(end - offset_io);
  int refill_below = static_cast<int>(kSegmentBytes * 8) + 1;
  uint64_t cache = 0;
  ac_codes::Code code;
  for (;;) {
    if (static_cast<int>(left) < refill_below) {
      const int offset = end - static_cast<int>(left);
      uint64_t word;
      std::memcpy(&word, s.bits + (offset >> 3), sizeof word);
      cache = __builtin_bswap64(word) << (offset & 7);
      refill_below = static_cast<int>(left) - (64 - ac_codes::kWindowBits) + (offset & 7);
    }
    code = short_codes[cache >> (64 - ac_codes::kShortIndexBits)];
    unsigned length = ac_codes::length(code);
    if (length > left) break;
    // The markers' runs are 64 and more, so one test finds them, a run past
    // the block and the codes that are looked up in the second table.
    size_t place = last + ac_codes::step(code);
    if (place >= kCoefficients) {
      if (length != 0) break;  // a marker or a run past the block: the long codes' mark is 0 bits long
      code = long_codes[(cache >> (64 - ac_codes::kWindowBits)) & ((1u << ac_codes::kLongIndexBits) - 1)];
      length = ac_codes::length(code);
      if (length > left) break;
      place = last + ac_codes::step(code);
      if (place >= kCoefficients) break;
    }
    if constexpr (kStores) coeffs[order[place]] = static_cast<dv_coeff_t>(ac_codes::amplitude(code));
    last = place;
    left -= length;
    cache <<= length;
  }
  // What follows takes the code apart afresh: otherwise the loop keeps a copy
  // of its step for it, an instruction a code.
  asm("" : "+r"(code));
  cursor.position = static_cast<int>(last + 1);
  offset_io = end - static_cast<int>(left);
  if (ac_codes::length(code) > left) return Stop::kCutShort;
  // The loop stops at a whole code only when it is a marker or runs past the
  // block: nothing to store.
  if (ac_codes::run(code) != ac_codes::kEndOfBlock) return Stop::kInvalid;
  EndBlock<kKeep>(s, m, b);
  offset_io += ac_codes::kEndOfBlockBits;
  return Stop::kEndOfBlock;
}

// The second and third passes (spilled_codes.cpp), for the blocks that the
// first left without their end-of-block code. False on an invalid code.
template <Keep kKeep>
bool ParseSpilledCodes(SegmentState &s);

}  // namespace ozmira::segment
