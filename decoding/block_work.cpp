// libdv's 8-8 dequantiser for x86-64 shifts every coefficient left: the DC
// by the weighting bias (6), every other one by the bias plus its class's
// extra bit (class 3) plus the shift that libdv's dv_quant_shifts gives for
// the coefficient's area and the block's quantisation step. The 16-bit shift
// is the same as a 16-bit multiply by 2^shift keeping the low half, which SSE2
// does for eight coefficients at once; the multipliers of every step and
// class are computed once from libdv's own tables. The inverse DCT, and both
// steps for 2-4-8 blocks, are libdv's own exported routines.
#include "block_work.h"

#include <emmintrin.h>

#include <cstdint>

#include "libdv_internal.h"

namespace ozmira {
namespace {

constexpr int kWeightingBias = 6;
constexpr int kSteps = 22;  // qno (0-15) plus the class's offset (up to 6)
constexpr int kColourBlocks = 6, kLumaOnlyBlocks = 4;
constexpr int kDct248 = 1;

// The area of each coefficient (0-3) follows its diagonal row + column:
// 1-2, 3-5, 6-8, 9-14; the DC has none.
int area_of(int row, int column) {
  const int diagonal = row + column;
  return diagonal <= 2 ? 0 : diagonal <= 5 ? 1 : diagonal <= 8 ? 2 : 3;
}

struct Multipliers {
  alignas(16) int16_t factor[kSteps][2][64];  // [qno + offset][class is 3][coefficient]
};

int16_t power_of_two_16(int shift) {
  // A 16-bit shift by 16 or more leaves 0, as a multiply by 0 does.
  return shift < 16 ? static_cast<int16_t>(static_cast<uint16_t>(1u << shift)) : 0;
}

const Multipliers &multipliers() {
  // Built on first use from libdv's tables; a plain global so that C hosts of
  // the static library need no C++ runtime for guarded statics.
  static Multipliers table;
  static bool built = false;
  if (!built) {
    for (int step = 0; step < kSteps; ++step) {
      for (int extra = 0; extra < 2; ++extra) {
        int16_t *factor = table.factor[step][extra];
        factor[0] = power_of_two_16(kWeightingBias);
        for (int i = 1; i < 64; ++i) {
          factor[i] = power_of_two_16(kWeightingBias + extra + dv_quant_shifts[step][area_of(i / 8, i % 8)]);
        }
      }
    }
    built = true;
  }
  return table;
}

// qno has four bits and class_no two in the stream; callers mask them so
// that no other value can reach outside libdv's tables or ours.
void dequantise_88(dv_coeff_t *coeffs, int qno, int klass, const Multipliers &table) {
  const int16_t *factor = table.factor[qno + dv_quant_offset[klass]][klass == 3];
  auto *block = reinterpret_cast<__m128i *>(coeffs);
  const auto *f = reinterpret_cast<const __m128i *>(factor);
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(block + i, _mm_mullo_epi16(_mm_loadu_si128(block + i), f[i]));
}

}  // namespace

void transform_segment(dv_videosegment_t *seg, unsigned quality, BlockSet blocks) {
  if (!(quality & DV_QUALITY_COLOR)) blocks &= kLumaBlocks;
  const int block_count = quality & DV_QUALITY_COLOR ? kColourBlocks : kLumaOnlyBlocks;
  const Multipliers &table = multipliers();
  for (dv_macroblock_t &mb : seg->mb) {
    for (int b = 0; b < block_count; ++b) {
      if (!(blocks & (1u << b))) continue;
      dv_block_t &block = mb.b[b];
      if (block.dct_mode == kDct248) {
        dv_248_coeff_t scratch[64];
        _dv_quant_248_inverse(block.coeffs, mb.qno & 15, block.class_no & 3, scratch);
        dv_idct_248(scratch, block.coeffs);
      } else {
        dequantise_88(block.coeffs, mb.qno & 15, block.class_no & 3, table);
        _dv_idct_88(block.coeffs);
      }
    }
  }
}

}  // namespace ozmira
