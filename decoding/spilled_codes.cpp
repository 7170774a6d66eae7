// The later passes of the AC parse, in libdv's order and with its rules. A
// block whose codes outgrew its own area continues them in the bits that
// other blocks left unused after their end-of-block code: first those of its
// own macroblock (second pass), then, in the third pass, those of any
// macroblock of the segment whose six blocks are all complete. A code may
// begin in one lender's bits and end in another's.
#include "segment_state.h"

namespace ozmira::segment {
namespace {

using ac_codes::Code;

enum class Outcome {
  kDone,       // the block's end-of-block code was read
  kNoMoreBits, // no lender had the rest of its code
  kInvalid,
};

// The next block of macroblock `m` that can lend bits: complete, with bits
// left, and not already lending to the code being looked for. Marked.
BlockCursor *macroblock_lender(SegmentState &s, int m) {
  for (int b = 0; b < s.blocks; ++b) {
    BlockCursor &c = s.cursor[m][b];
    if (c.eob && c.end > c.offset && !c.mark) {
      c.mark = true;
      return &c;
    }
  }
  return nullptr;
}

BlockCursor *segment_lender(SegmentState &s) {
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    if (s.eob_count[m] != kBlocks) continue;
    if (BlockCursor *lender = macroblock_lender(s, m)) return lender;
  }
  return nullptr;
}

BlockCursor *next_lender(SegmentState &s, int m, bool third_pass) {
  BlockCursor *lender = macroblock_lender(s, m);
  if (lender == nullptr && third_pass) lender = segment_lender(s);
  return lender;
}

// The `count` bits (0 to 15) from bit `offset` on.
unsigned bits_at(const SegmentState &s, int offset, int count) {
  return count == 0 ? 0 : window_at(s, offset) >> (ac_codes::kWindowBits - count);
}

// Lenders that gave all their bits to a code found have none left; the last
// one's offset is then set by the caller.
void clear_marks(SegmentState &s, int m, bool third_pass, bool found) {
  const int first = third_pass ? 0 : m, last = third_pass ? kMacroblocksPerSegment - 1 : m;
  for (int i = first; i <= last; ++i) {
    for (int b = 0; b < s.blocks; ++b) {
      BlockCursor &c = s.cursor[i][b];
      if (!c.mark) continue;
      c.mark = false;
      if (found) c.offset = c.end;
    }
  }
}

// Looks for the rest of the code that begins with the bits `source` has left
// (it is marked): in the lenders' bits, one after another, until a whole code
// is seen. On success `source` becomes the last lender, placed so that the
// code's bits end where they end in it, and `code` holds the code.
Outcome find_spilled_code(SegmentState &s, int m, bool third_pass, BlockCursor *&source, Code &code) {
  int prefix_bits = source->end - source->offset;  // under 16: the code did not fit
  unsigned prefix = bits_at(s, source->offset, prefix_bits);
  BlockCursor *lender = next_lender(s, m, third_pass);
  while (lender != nullptr) {
    const int lender_bits = lender->end - lender->offset;
    const unsigned window = (prefix << (ac_codes::kWindowBits - prefix_bits) |
                             window_at(s, lender->offset) >> prefix_bits) & 0xffff;
    code = ac_codes::decode(window);
    const int available = prefix_bits + lender_bits;
    if (static_cast<int>(ac_codes::length(code)) > available) {
      // Still cut short: all of this lender's bits join the code's beginning.
      prefix = prefix << lender_bits | bits_at(s, lender->offset, lender_bits);
      prefix_bits = available;
      lender = next_lender(s, m, third_pass);
      continue;
    }
    if (ac_codes::run(code) == ac_codes::kInvalid) break;
    const int start = lender->offset - prefix_bits;
    clear_marks(s, m, third_pass, true);
    lender->offset = start;
    source = lender;
    return Outcome::kDone;
  }
  clear_marks(s, m, third_pass, false);
  return lender == nullptr ? Outcome::kNoMoreBits : Outcome::kInvalid;
}

// Continues block `b` of macroblock `m` from where its codes stopped.
Outcome parse_block(SegmentState &s, int m, int b, bool third_pass) {
  BlockCursor &cursor = s.cursor[m][b];
  dv_block_t &block = s.mb[m].b[b];
  BlockCursor *source = &cursor;
  for (;;) {
    Code code = ac_codes::decode(window_at(s, source->offset));
    if (static_cast<int>(ac_codes::length(code)) > source->end - source->offset) {
      source->mark = true;
      const Outcome found = find_spilled_code(s, m, third_pass, source, code);
      if (found != Outcome::kDone) return found;
    }
    const unsigned run = ac_codes::run(code);
    if (run == ac_codes::kEndOfBlock) {
      source->offset += ac_codes::kEndOfBlockBits;
      cursor.position = kCoefficients;
      cursor.eob = true;
      block.eob = 1;
      ++s.eob_count[m];
      return Outcome::kDone;
    }
    if (run == ac_codes::kInvalid) return Outcome::kInvalid;
    source->offset += ac_codes::length(code);
    if (!store(code, cursor, block)) return Outcome::kInvalid;
  }
}

}  // namespace

bool parse_spilled_codes(SegmentState &s) {
  // The second pass gives up on a macroblock at its first block whose code
  // finds no lender; on an invalid code too, and the third pass is then not
  // run. The third pass stops at the first of either.
  bool intact = true;
  for (const bool third_pass : {false, true}) {
    if (!intact) break;
    for (int m = 0; m < kMacroblocksPerSegment; ++m) {
      for (int b = 0; b < s.blocks; ++b) {
        const BlockCursor &cursor = s.cursor[m][b];
        if (cursor.eob || cursor.dropped) continue;
        const Outcome outcome = parse_block(s, m, b, third_pass);
        if (outcome == Outcome::kDone) continue;
        if (outcome == Outcome::kInvalid) intact = false;
        if (third_pass) return intact;
        break;
      }
    }
  }
  return intact;
}

}  // namespace ozmira::segment
