// The segment's fixed fields, the first pass (each block's AC codes from its
// own area of its DIF block), and the code reader that every pass uses.
#include "segment_parser.h"

#include <cstring>

#include "dif_frame.h"
#include "segment_state.h"

namespace ozmira {
namespace segment {
namespace {

constexpr int kQnoByte = 3;  // low four bits
constexpr int kQnoMask = 0xf;
// Where each block's 16-bit head (9-bit DC, DCT mode, 2-bit class) lies in
// its DIF block, its AC codes following; where its area ends.
constexpr int kBlockStartByte[kBlocks] = {4, 18, 32, 46, 60, 70};
constexpr int kBlockEndByte[kBlocks] = {18, 32, 46, 60, 70, 80};
constexpr int kBlockHeadBits = 12;
constexpr int kDcShift = 7, kDctModeShift = 6, kClassShift = 4;

constexpr Order kZigzag = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                           12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                           35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                           58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
constexpr Order kOrder248 = {0,  32, 1, 33, 8,  40, 2,  34, 9,  41, 16, 48, 24, 56, 17, 49,
                             10, 42, 3, 35, 4,  36, 11, 43, 18, 50, 25, 57, 26, 58, 19, 51,
                             12, 44, 5, 37, 6,  38, 13, 45, 20, 52, 27, 59, 28, 60, 21, 53,
                             14, 46, 7, 39, 15, 47, 22, 54, 29, 61, 30, 62, 23, 55, 31, 63};

constexpr Order transposed(const Order &order) {
  constexpr int kSide = 8;
  Order result{};
  for (int i = 0; i < kCoefficients; ++i)
    result[i] = static_cast<uint8_t>(order[i] % kSide * kSide + order[i] / kSide);
  return result;
}

// Reads the block's head, leaving its AC coefficients as they are.
void read_block_head(const uint8_t *head, dv_block_t &block) {
  const int bits = head[0] << 8 | head[1];
  block.coeffs[0] = static_cast<dv_coeff_t>(static_cast<int16_t>(bits) >> kDcShift);
  block.dct_mode = (bits >> kDctModeShift) & 1;
  block.class_no = (bits >> kClassShift) & 3;
  block.eob = 0;
}

}  // namespace

constexpr std::array<Order, 2> kOrder = {transposed(kZigzag), kOrder248};

Stop ReadCodes(SegmentState &s, int m, int b, int &offset_io, int end) {
  // The loop keeps everything it changes in locals: the stores into the
  // coefficients would otherwise make the compiler reload it all per code.
  BlockCursor &cursor = s.cursor[m][b];
  dv_coeff_t *coeffs = s.mb[m].b[b].coeffs;
  const uint8_t *order = kOrder[s.mb[m].b[b].dct_mode].data();
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
    coeffs[order[place]] = static_cast<dv_coeff_t>(ac_codes::amplitude(code));
    last = place;
    left -= length;
    cache <<= length;
  }
  cursor.position = static_cast<int>(last + 1);
  offset_io = end - static_cast<int>(left);
  if (ac_codes::length(code) > left) return Stop::kCutShort;
  const Stop stop = TakeCode(s, m, b, code);
  if (stop == Stop::kEndOfBlock) offset_io += ac_codes::length(code);
  return stop;
}

}  // namespace segment

void ReadBlockHeads(const uint8_t *segment, unsigned quality, dv_macroblock_t *macroblocks) {
  using namespace segment;
  const int blocks = quality & DV_QUALITY_COLOR ? kBlocks : kLumaBlocks;
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const uint8_t *dif_block = segment + m * kDifBlockBytes;
    macroblocks[m].qno = dif_block[kQnoByte] & kQnoMask;
    for (int b = 0; b < blocks; ++b) read_block_head(dif_block + kBlockStartByte[b], macroblocks[m].b[b]);
  }
}

bool ParseVideoSegment(const uint8_t *segment, unsigned quality, dv_macroblock_t *macroblocks) {
  using namespace segment;
  SegmentState s;
  std::memcpy(s.bits, segment, kSegmentBytes);
  std::memset(s.bits + kSegmentBytes, 0, kLoadBytes);
  s.mb = macroblocks;
  s.blocks = quality & DV_QUALITY_COLOR ? kBlocks : kLumaBlocks;
  const unsigned ac = quality & DV_QUALITY_AC_MASK;
  bool intact = true;
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const uint8_t *dif_block = s.bits + m * kDifBlockBytes;
    const int dif_block_bit = m * kDifBlockBytes * 8;
    dv_macroblock_t &mb = macroblocks[m];
    mb.qno = dif_block[kQnoByte] & kQnoMask;
    s.eob_count[m] = 0;
    s.lenders[m] = 0;
    for (int b = 0; b < s.blocks; ++b) {
      dv_block_t &block = mb.b[b];
      std::memset(block.coeffs, 0, sizeof block.coeffs);
      read_block_head(dif_block + kBlockStartByte[b], block);
      BlockCursor &cursor = s.cursor[m][b];
      cursor = {dif_block_bit + kBlockStartByte[b] * 8 + kBlockHeadBits, dif_block_bit + kBlockEndByte[b] * 8,
                1, false, false};
      if (ac == DV_QUALITY_DC) continue;
      // The first pass: the block's own area. Codes cut short by its end
      // are for the later passes.
      if (ReadCodes(s, m, b, cursor.offset, cursor.end) == Stop::kInvalid) {
        cursor.dropped = true;
        intact = false;
      }
      if (cursor.eob && cursor.offset < cursor.end) s.lenders[m] |= 1u << b;
    }
  }
  if (ac == DV_QUALITY_AC_2) intact &= ParseSpilledCodes(s);
  return intact;
}

}  // namespace ozmira
