// The segment's fixed fields and the first pass: each block's AC codes from
// its own area of its DIF block, read by the code reader of segment_state.h.
#include "segment_parser.h"

#include <emmintrin.h>

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

// Zeroes a block's coefficients with eight 16-byte stores, inline: a call of
// the C library's memset costs several times as much for 128 bytes.
void clear_coefficients(dv_block_t &block) {
  constexpr int kPerStore = sizeof(__m128i) / sizeof(dv_coeff_t);
#pragma GCC unroll 8
  for (int i = 0; i < kCoefficients; i += kPerStore) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(block.coeffs + i), _mm_setzero_si128());
  }
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

namespace segment {
namespace {

// libgcc reads the processor's features before any call can come.
bool has_avx512() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
         __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
}

// The first pass: each block's own area, two blocks at a time (4 and 6 are
// even). Codes cut short by its end are for the later passes.
template <Keep kKeep>
bool first_pass(SegmentState &s) {
  bool intact = true;
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    for (int b = 0; b < s.blocks; b += 2) {
      Stop stops[2];
      ReadTwoBlocks<kKeep>(s, m, b, stops);
      for (int i = 0; i < 2; ++i) {
        const BlockCursor &cursor = s.cursor[m][b + i];
        const uint32_t bit = 1u << (kBlocks * m + b + i);
        if (stops[i] == Stop::kCutShort) {
          s.pending |= bit;
        } else if (stops[i] == Stop::kInvalid) {
          intact = false;  // the block is dropped: parsed no further
        } else {
          if (cursor.offset < cursor.end) s.lenders |= bit;
          if (cursor.position == 1) s.ac_free |= bit;
        }
      }
    }
  }
  return intact;
}

// The segment's copy, its fixed fields, and every block's cursor at its
// first AC bit.
template <Keep kKeep>
void read_segment(const uint8_t *segment, SegmentState &s) {
  std::memcpy(s.bits, segment, kSegmentBytes);
  std::memset(s.bits + kSegmentBytes, 0, kLoadBytes);
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const uint8_t *dif_block = s.bits + m * kDifBlockBytes;
    const int dif_block_bit = m * kDifBlockBytes * 8;
    if constexpr (kKeep == Keep::kCoefficients) s.mb[m].qno = dif_block[kQnoByte] & kQnoMask;
    for (int b = 0; b < s.blocks; ++b) {
      if constexpr (kKeep == Keep::kCoefficients) {
        dv_block_t &block = s.mb[m].b[b];
        clear_coefficients(block);
        read_block_head(dif_block + kBlockStartByte[b], block);
      }
      s.cursor[m][b] = {dif_block_bit + kBlockStartByte[b] * 8 + kBlockHeadBits,
                        dif_block_bit + kBlockEndByte[b] * 8, 1};
    }
  }
}

// The parse of both entry points; with Keep::kNothing, `macroblocks` and
// `ac_free` are null.
template <Keep kKeep>
bool parse_segment(const uint8_t *segment, unsigned quality, dv_macroblock_t *macroblocks, ParserBuild build,
                   uint32_t *ac_free) {
  SegmentState s;
  s.mb = macroblocks;
  s.blocks = quality & DV_QUALITY_COLOR ? kBlocks : kLumaBlocks;
  s.ended = 0;
  s.lenders = 0;
  s.pending = 0;
  s.ac_free = 0;
  const unsigned ac = quality & DV_QUALITY_AC_MASK;
  bool intact;
  if (ac != DV_QUALITY_DC && build == ParserBuild::kFastest && has_avx512()) {
    intact = FirstPassAvx512<kKeep>(segment, s);
  } else {
    read_segment<kKeep>(segment, s);
    if (ac == DV_QUALITY_DC) {
      if (ac_free != nullptr) *ac_free = s.ac_free;
      return true;
    }
    intact = first_pass<kKeep>(s);
  }
  if (ac == DV_QUALITY_AC_2) intact &= ParseSpilledCodes<kKeep>(s);
  if (ac_free != nullptr) *ac_free = s.ac_free;
  return intact;
}

}  // namespace
}  // namespace segment

bool ParseVideoSegment(const uint8_t *segment, unsigned quality, dv_macroblock_t *macroblocks,
                       ParserBuild build, uint32_t *ac_free) {
  return segment::parse_segment<segment::Keep::kCoefficients>(segment, quality, macroblocks, build, ac_free);
}

bool SegmentIntact(const uint8_t *segment, unsigned quality, ParserBuild build) {
  return segment::parse_segment<segment::Keep::kNothing>(segment, quality, nullptr, build, nullptr);
}

}  // namespace ozmira
