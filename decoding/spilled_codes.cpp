// The later passes of the AC parse, in libdv's order and with its rules. A
// block whose codes outgrew its own area continues them in the bits that
// other blocks left unused after their end-of-block code: first those of its
// own macroblock (second pass), then, in the third pass, those of every
// macroblock of the segment whose six blocks are complete. Lenders are taken
// in that order, each in block order, and each is used up before the next;
// a code may begin in one lender's bits and end in another's.
#include "segment_state.h"

namespace ozmira::segment {
namespace {

using ac_codes::Code;

enum class Outcome {
  kDone,        // the block's end-of-block code was read
  kNoMoreBits,  // no lender holds the rest of its code
  kInvalid,
};

// Places in the order of lenders: the six blocks of the block's own
// macroblock, then six for each macroblock of the segment.
constexpr int kOwnPlaces = kBlocks, kAllPlaces = kBlocks * (1 + kMacroblocksPerSegment);

// The blocks of the macroblocks whose six blocks are all complete (without
// colour none is: its four blocks alone never make one complete).
uint32_t complete_macroblocks(uint32_t ended) {
  // Bit kBlocks * m of `all` is set when the kBlocks bits from there are;
  // spread back over the macroblock's bits by a multiply, as the groups do
  // not overlap.
  uint32_t all = ended;
  for (int b = 1; b < kBlocks; ++b) all &= ended >> b;
  constexpr uint32_t kFirstBlocks = [] {
    uint32_t bits = 0;
    for (int m = 0; m < kMacroblocksPerSegment; ++m) bits |= 1u << (kBlocks * m);
    return bits;
  }();
  return (all & kFirstBlocks) * kMacroblockBits;
}

// The first lender at place `place` or later, for a block of macroblock `m`,
// among its own blocks and then `others` (the blocks of complete
// macroblocks in the third pass, else none); `place` is left at it. Null
// when there is none.
[[gnu::always_inline]] inline BlockCursor *lender_from(SegmentState &s, int m, uint32_t others, int &place) {
  if (place < kOwnPlaces) {
    if (const uint32_t left = ((s.lenders >> (kBlocks * m)) & kMacroblockBits) >> place) {
      place += __builtin_ctz(left);
      return &s.cursor[m][place];
    }
    place = kOwnPlaces;
  }
  const uint32_t left = (s.lenders & others) >> (place - kOwnPlaces);
  if (left == 0) return nullptr;
  place += __builtin_ctz(left);
  return &s.cursor[0][0] + (place - kOwnPlaces);
}

// Takes a block off the lenders once its bits are used up.
void note_used(SegmentState &s, const BlockCursor *c) {
  if (c->offset < c->end) return;
  s.lenders &= ~(1u << (c - &s.cursor[0][0]));
}

// Continues block `b` of macroblock `m` where its codes stopped, in its
// lenders' bits. What its own bits hold, if anything, is the beginning of a
// code: that is where the pass before stopped.
//
// One reader goes from area to area, the block's place kept in it. The next
// lender and its first bits are found as soon as the reader enters an area,
// while it reads the codes there: where a code is cut short by the area's
// end, its rest is then at hand, not behind a chain of loads.
template <Keep kKeep>
Outcome continue_block(SegmentState &s, int m, int b, bool third_pass) {
  BlockCursor *source = &s.cursor[m][b];
  // No block completes here but this one, which ends the call.
  const uint32_t others = third_pass ? complete_macroblocks(s.ended) : 0;
  int place = 0;  // lenders before it have no bits left
  BlockCursor *next = lender_from(s, m, others, place);
  if (next == nullptr) return Outcome::kNoMoreBits;  // as most second passes end: set nothing up
  CodeReader<kKeep> reader(s, m, b, source->offset, source->end);
  reader.Refill();
  uint64_t next_cache = reader.CacheAt(s.bits, next->offset);
  BlockCursor *joined[kAllPlaces];
  for (;;) {
    // The code cut short continues in the next lenders' bits, as many as it
    // takes. Nothing is used up until the whole code is seen.
    unsigned window = reader.Prefix();
    int prefix_bits = reader.left(), count = 0;
    BlockCursor *lender = next;
    uint64_t cache = next_cache;
    Code code;
    for (;;) {
      if (lender == nullptr) {
        reader.SavePlace(s, m, b);
        return Outcome::kNoMoreBits;
      }
      const int lender_bits = lender->end - lender->offset;
      const unsigned top = static_cast<unsigned>(cache >> (64 - ac_codes::kWindowBits));
      code = ac_codes::decode(window | top >> prefix_bits);
      if (static_cast<int>(ac_codes::length(code)) <= prefix_bits + lender_bits) break;
      window |= (top & ~(0xffffu >> lender_bits)) >> prefix_bits;
      prefix_bits += lender_bits;
      joined[count++] = lender;
      ++place;
      lender = lender_from(s, m, others, place);
      cache = lender != nullptr ? reader.CacheAt(s.bits, lender->offset) : 0;
    }
    reader.SavePlace(s, m, b);
    if (ac_codes::run(code) == ac_codes::kInvalid) return Outcome::kInvalid;
    // Every block the code began in is used up; it ends in `lender`, which
    // is read on from there.
    source->offset = source->end;
    note_used(s, source);
    for (int i = 0; i < count; ++i) joined[i]->offset = joined[i]->end, note_used(s, joined[i]);
    reader.MoveTo(lender->offset, lender->end, cache, static_cast<int>(ac_codes::length(code)) - prefix_bits);
    source = lender;
    ++place;
    next = lender_from(s, m, others, place);
    next_cache = next != nullptr ? reader.CacheAt(s.bits, next->offset) : 0;
    Stop stop = reader.Take(code);
    if (stop == Stop::kStored) {
      while (reader.NextTwo()) {}
      stop = reader.Finish(s, m, b, source->offset);
    } else {
      source->offset = reader.offset();
      if (stop == Stop::kEndOfBlock) EndBlock<kKeep>(s, m, b);
    }
    note_used(s, source);
    if (stop == Stop::kEndOfBlock) return Outcome::kDone;
    if (stop == Stop::kInvalid) return Outcome::kInvalid;
  }
}

}  // namespace

template <Keep kKeep>
bool ParseSpilledCodes(SegmentState &s) {
  // The second pass gives up on a macroblock at its first block whose code
  // finds no lender; on an invalid code too, and the third pass is then not
  // run. The third pass stops at the first of either.
  bool intact = true;
  for (const bool third_pass : {false, true}) {
    if (!intact) break;
    for (uint32_t todo = s.pending; todo != 0;) {
      const int i = __builtin_ctz(todo);
      const int m = i / kBlocks;
      todo &= todo - 1;
      const Outcome outcome = continue_block<kKeep>(s, m, i % kBlocks, third_pass);
      if (outcome == Outcome::kDone) {
        s.pending &= ~(1u << i);
        continue;
      }
      if (outcome == Outcome::kInvalid) intact = false;
      if (third_pass) return intact;
      todo &= ~(kMacroblockBits << (kBlocks * m));  // the rest of this macroblock
    }
  }
  return intact;
}

template bool ParseSpilledCodes<Keep::kCoefficients>(SegmentState &s);
template bool ParseSpilledCodes<Keep::kNothing>(SegmentState &s);

}  // namespace ozmira::segment
