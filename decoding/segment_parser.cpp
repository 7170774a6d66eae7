// The segment's fixed fields and the first pass: each block's AC codes from
// its own area of its DIF block.
#include "segment_parser.h"

#include <cstring>

#include "segment_state.h"

namespace ozmira {
namespace segment {
namespace {

constexpr int kDifBlockBytes = 80;
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
constexpr Order kOrder248 = {0,  32, 1,  33, 8,  40, 2,  34, 9,  41, 16, 48, 24, 56, 17, 49,
                             10, 42, 3,  35, 4,  36, 11, 43, 18, 50, 25, 57, 26, 58, 19, 51,
                             12, 44, 5,  37, 6,  38, 13, 45, 20, 52, 27, 59, 28, 60, 21, 53,
                             14, 46, 7,  39, 15, 47, 22, 54, 29, 61, 30, 62, 23, 55, 31, 63};

constexpr Order transposed(const Order &order) {
  constexpr int kSide = 8;
  Order result{};
  for (int i = 0; i < kCoefficients; ++i) result[i] = static_cast<uint8_t>(order[i] % kSide * kSide + order[i] / kSide);
  return result;
}

// Reads the block's head and clears its AC coefficients.
void read_block_head(const uint8_t *head, dv_block_t &block) {
  const int bits = head[0] << 8 | head[1];
  std::memset(block.coeffs, 0, sizeof block.coeffs);
  block.coeffs[0] = static_cast<dv_coeff_t>(static_cast<int16_t>(bits) >> kDcShift);
  block.dct_mode = (bits >> kDctModeShift) & 1;
  block.class_no = (bits >> kClassShift) & 3;
  block.eob = 0;
}

// The first pass over one block: codes from its own area until its
// end-of-block code, a code cut short by the area's end (the later passes
// look for the rest), or an invalid code. False on an invalid code.
bool parse_own_area(const SegmentState &s, BlockCursor &cursor, dv_block_t &block, int &eob_count) {
  for (;;) {
    const ac_codes::Code code = ac_codes::decode(window_at(s, cursor.offset));
    const unsigned length = ac_codes::length(code), run = ac_codes::run(code);
    if (length > static_cast<unsigned>(cursor.end - cursor.offset)) return true;
    if (run == ac_codes::kEndOfBlock) {
      cursor.offset += ac_codes::kEndOfBlockBits;
      cursor.position = kCoefficients;
      cursor.eob = true;
      block.eob = 1;
      ++eob_count;
      return true;
    }
    if (run == ac_codes::kInvalid || !store(code, cursor, block)) {
      cursor.dropped = true;
      return false;
    }
    cursor.offset += length;
  }
}

}  // namespace

constexpr std::array<Order, 2> kOrder = {transposed(kZigzag), kOrder248};

}  // namespace segment

bool parse_video_segment(const uint8_t *segment, unsigned quality, dv_macroblock_t *macroblocks) {
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
    for (int b = 0; b < s.blocks; ++b) {
      dv_block_t &block = mb.b[b];
      read_block_head(dif_block + kBlockStartByte[b], block);
      BlockCursor &cursor = s.cursor[m][b];
      cursor = {dif_block_bit + kBlockStartByte[b] * 8 + kBlockHeadBits, dif_block_bit + kBlockEndByte[b] * 8, 1,
                false, false, false};
      if (ac != DV_QUALITY_DC) intact &= parse_own_area(s, cursor, block, s.eob_count[m]);
    }
  }
  if (ac == DV_QUALITY_AC_2) intact &= parse_spilled_codes(s);
  return intact;
}

}  // namespace ozmira
