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
  uint32_t ac_free;     // complete in the first pass without a coefficient after the DC
  int blocks;           // parsed per macroblock: 4 without colour, else 6
  dv_macroblock_t *mb;  // null when nothing is kept
};

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

// Reads the codes of one block from a bit on until its end-of-block code, a
// code cut short by the end of the bits at hand, or an invalid code; the
// later passes move it on from area to area (MoveTo). Inlined
// into its callers, its state in locals of theirs: a call's set-up costs as
// much as a few codes, and a block's area holds few.
template <Keep kKeep>
class CodeReader {
 public:
  // Block (m, b), from bit `offset` to `end`.
  [[gnu::always_inline]] CodeReader(const SegmentState &s, int m, int b, int offset, int end)
      : bits_(s.bits),
        coeffs_(kKeep == Keep::kCoefficients ? s.mb[m].b[b].coeffs : nullptr),
        order_(kKeep == Keep::kCoefficients ? kOrder[s.mb[m].b[b].dct_mode].data() : nullptr),
        last_(static_cast<size_t>(s.cursor[m][b].position) - 1),
        left_(static_cast<unsigned>(end - offset)),
        end_(end) {
    // Each in one register: left to itself, the compiler splits the pointers
    // into sums it adds up again per code, or reloads them.
    asm("" : "+r"(coeffs_), "+r"(order_));
  }

  // Takes the next code: true when it stored a coefficient, false when the
  // reading stopped (then call Finish, and Next no more).
  [[gnu::always_inline]] bool Next() {
    if (static_cast<int>(left_) < refill_below_) Refill();
    code_ = ac_codes::kShortCodes[cache_ >> (64 - ac_codes::kShortIndexBits)];
    unsigned length = ac_codes::length(code_);
    if (length > left_) return false;
    // The markers' runs are 64 and more, so one test finds them, a run past
    // the block and the codes that are looked up in the second table.
    size_t place = last_ + ac_codes::step(code_);
    if (place >= kCoefficients) {
      if (length != 0) return false;  // a marker or a run past the block: the long codes' mark is 0 bits long
      code_ = ac_codes::kLongCodes[(cache_ >> (64 - ac_codes::kWindowBits)) &
                                   ((1u << ac_codes::kLongIndexBits) - 1)];
      length = ac_codes::length(code_);
      if (length > left_) return false;
      place = last_ + ac_codes::step(code_);
      if (place >= kCoefficients) return false;
    }
    if constexpr (kKeep == Keep::kCoefficients)
      coeffs_[order_[place]] = static_cast<dv_coeff_t>(ac_codes::amplitude(code_));
    last_ = place;
    left_ -= length;
    cache_ <<= code_ & kShiftMask;  // the length: no step to take it out of the code
    return true;
  }

  // Next for a reader whose codes make one chain, each one's place in the
  // bits hanging on the one before: two codes at once where one look-up
  // finds both (ac_codes::kPairs), so the chain is shorter by a look-up.
  [[gnu::always_inline]] bool NextTwo() {
    if (static_cast<int>(left_) < refill_below_) Refill();
    const ac_codes::Pair pair = ac_codes::kPairs[cache_ >> (64 - ac_codes::kShortIndexBits)];
    const auto first_code = static_cast<ac_codes::Code>(pair);
    const size_t first = last_ + ac_codes::step(first_code);
    const size_t second = first + ac_codes::second_step(pair);
    // A marker, a long code, a run past the block or bits short: one code
    // at a time.
    if (ac_codes::length(first_code) > left_ || second >= kCoefficients) return Next();
    if constexpr (kKeep == Keep::kCoefficients) {
      coeffs_[order_[first]] = static_cast<dv_coeff_t>(ac_codes::amplitude(first_code));
      coeffs_[order_[second]] = static_cast<dv_coeff_t>(ac_codes::second_amplitude(pair));
    }
    last_ = second;
    left_ -= ac_codes::length(first_code);
    cache_ <<= first_code & kShiftMask;
    return true;
  }

  // Loads the cache afresh from the bits not yet taken.
  [[gnu::always_inline]] void Refill() {
    const int offset = end_ - static_cast<int>(left_);
    cache_ = CacheAt(bits_, offset);
    refill_below_ = static_cast<int>(left_) - (64 - ac_codes::kWindowBits) + (offset & 7);
  }

  // The bits from bit `offset` of `bits` on, the first at the top: 57 to 64
  // of them, zeros after.
  static uint64_t CacheAt(const uint8_t *bits, int offset) {
    uint64_t word;
    std::memcpy(&word, bits + (offset >> 3), sizeof word);
    return __builtin_bswap64(word) << (offset & 7);
  }

  // The bits of the area not yet taken, and where they begin.
  int left() const { return static_cast<int>(left_); }
  int offset() const { return end_ - static_cast<int>(left_); }

  // The bits not yet taken (fewer than 16) at the top of a 16-bit window,
  // zeros after them. The cache must hold them: call after Refill or once
  // Next or NextTwo returned false.
  unsigned Prefix() const {
    const unsigned window = static_cast<unsigned>(cache_ >> (64 - ac_codes::kWindowBits));
    return window & ~(0xffffu >> left_);
  }

  // Reads on in another area, from bit `offset` (whose cache, CacheAt, is
  // `cache`) to `end`, `taken` of its bits already taken.
  [[gnu::always_inline]] void MoveTo(int offset, int end, uint64_t cache, int taken) {
    end_ = end;
    left_ = static_cast<unsigned>(end - offset);
    refill_below_ = static_cast<int>(left_) - (64 - ac_codes::kWindowBits) + (offset & 7);
    left_ -= static_cast<unsigned>(taken);
    cache_ = cache << taken;
  }

  // Takes a whole code found outside the reader (one that began in another
  // area): kStored, or what stopped the reading, as Finish would say.
  [[gnu::always_inline]] Stop Take(ac_codes::Code code) {
    const size_t place = last_ + ac_codes::step(code);
    if (place >= kCoefficients)
      return ac_codes::run(code) == ac_codes::kEndOfBlock ? Stop::kEndOfBlock : Stop::kInvalid;
    if constexpr (kKeep == Keep::kCoefficients)
      coeffs_[order_[place]] = static_cast<dv_coeff_t>(ac_codes::amplitude(code));
    last_ = place;
    return Stop::kStored;
  }

  // Leaves block (m, b)'s place after the last coefficient stored.
  void SavePlace(SegmentState &s, int m, int b) const {
    s.cursor[m][b].position = static_cast<int>(last_ + 1);
  }

  // Once Next returned false: leaves block (m, b)'s place after the last
  // coefficient stored and `offset_io` after the last code taken (the
  // end-of-block code included), and says what stopped the reading.
  [[gnu::always_inline]] Stop Finish(SegmentState &s, int m, int b, int &offset_io) {
    // What follows takes the code apart afresh: otherwise the loop keeps a
    // copy of its step for it, an instruction a code.
    ac_codes::Code code = code_;
    asm("" : "+r"(code));
    SavePlace(s, m, b);
    offset_io = end_ - static_cast<int>(left_);
    if (ac_codes::length(code) > left_) return Stop::kCutShort;
    // The reading stops at a whole code only when it is a marker or runs past
    // the block: nothing to store.
    if (ac_codes::run(code) != ac_codes::kEndOfBlock) return Stop::kInvalid;
    EndBlock<kKeep>(s, m, b);
    offset_io += ac_codes::kEndOfBlockBits;
    return Stop::kEndOfBlock;
  }

 private:
  static constexpr unsigned kShiftMask = 63;  // what x86 takes of a count anyway

  const uint8_t *bits_;
  dv_coeff_t *coeffs_;
  const uint8_t *order_;
  // The place of the last coefficient stored (the block's place less one): a
  // code's step lands on its coefficient's place.
  size_t last_;
  // `left_` counts the bits not yet taken, the next of them at the top of
  // `cache_`. The cache is refilled from the copy once `left_` falls below
  // `refill_below_`, where fewer than a window's worth of it would remain;
  // one counter serves both the end of the bits and the refill.
  unsigned left_;
  int refill_below_ = static_cast<int>(kSegmentBytes * 8) + 1;  // the first code refills
  int end_;
  uint64_t cache_ = 0;
  ac_codes::Code code_ = 0;
};

// Reads the codes of blocks b and b + 1 of macroblock m, each in its own
// area from its cursor on, a code of one and a code of the other in turn:
// each code's place in the bits hangs on the one before, so a block alone
// leaves the processor waiting on that chain, and two make it wait half as
// often. The block left alone at the end takes two codes at once where it
// can; while both read, that costs more than it saves.
template <Keep kKeep>
[[gnu::always_inline]] inline void ReadTwoBlocks(SegmentState &s, int m, int b, Stop (&stops)[2]) {
  BlockCursor &first = s.cursor[m][b], &second = s.cursor[m][b + 1];
  CodeReader<kKeep> x(s, m, b, first.offset, first.end), y(s, m, b + 1, second.offset, second.end);
  bool more_x, more_y;
  do {
    more_x = x.Next();
    more_y = y.Next();
  } while (more_x && more_y);
  while (more_x) more_x = x.NextTwo();
  while (more_y) more_y = y.NextTwo();
  stops[0] = x.Finish(s, m, b, first.offset);
  stops[1] = y.Finish(s, m, b + 1, second.offset);
}

// The segment's fixed fields and the first pass with AVX-512
// (first_pass_avx512.cpp), every block of the segment at once: leaves what
// segment_parser.cpp's copy, heads and first pass leave, for a state whose
// `mb` and `blocks` are set. False on an invalid code. Only where the
// processor has AVX-512 F, BW, VL, VBMI and VBMI2.
template <Keep kKeep>
bool FirstPassAvx512(const uint8_t *segment, SegmentState &s);

// The second and third passes (spilled_codes.cpp), for the blocks that the
// first left without their end-of-block code. False on an invalid code.
template <Keep kKeep>
bool ParseSpilledCodes(SegmentState &s);

}  // namespace ozmira::segment
