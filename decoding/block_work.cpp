// libdv's 8-8 dequantiser for x86-64 shifts every coefficient left: the DC
// by the weighting bias (6), every other one by the bias plus its class's
// extra bit (class 3) plus the shift that libdv's dv_quant_shifts gives for
// the coefficient's area and the block's quantisation step. The 16-bit shift
// is the same as a 16-bit multiply by 2^shift keeping the low half, which SSE2
// does for eight coefficients at once; the multipliers of every step and
// class are computed once from libdv's own tables. The 8-8 inverse DCT is
// idct_88.h's, libdv's own to the bit; both steps for 2-4-8 blocks are libdv's
// exported routines, which keep no state between calls. Scratch lives on the
// stack, so segments may be transformed on several threads at once.
#include "block_work.h"

#include <emmintrin.h>
#include <pthread.h>

#include <cstdint>

#include "dc_only_blocks.h"
#include "idct_248.h"
#include "idct_88.h"
#include "libdv_internal.h"

namespace ozmira {
namespace {

constexpr int kWeightingBias = 6;
constexpr int kSteps = 22;  // qno (0-15) plus the class's offset (up to 6)
constexpr int kColourBlocks = 6, kLumaOnlyBlocks = 4;
constexpr int kMacroblocks = 5;  // a segment's
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

// Built once from libdv's tables, under pthread_once so that the first
// frames may be decoded on several threads (plain globals: C hosts of the
// static library have no C++ runtime for guarded statics).
Multipliers multiplier_table;
pthread_once_t multipliers_built = PTHREAD_ONCE_INIT;

void build_multipliers() {
  for (int step = 0; step < kSteps; ++step) {
    for (int extra = 0; extra < 2; ++extra) {
      int16_t *factor = multiplier_table.factor[step][extra];
      factor[0] = power_of_two_16(kWeightingBias);
      for (int i = 1; i < 64; ++i) {
        factor[i] = power_of_two_16(kWeightingBias + extra + dv_quant_shifts[step][area_of(i / 8, i % 8)]);
      }
    }
  }
}

const Multipliers &multipliers() {
  pthread_once(&multipliers_built, build_multipliers);
  return multiplier_table;
}

const int16_t *factors_of(int qno, int klass, const Multipliers &table) {
  return table.factor[qno + dv_quant_offset[klass]][klass == 3];
}

void dequantise(dv_coeff_t *coeffs, int qno, int klass, const Multipliers &table) {
  const int16_t *factor = factors_of(qno, klass, table);
  auto *block = reinterpret_cast<__m128i *>(coeffs);
  const auto *f = reinterpret_cast<const __m128i *>(factor);
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(block + i, _mm_mullo_epi16(_mm_loadu_si128(block + i), f[i]));
}

}  // namespace

void BlockWork248(dv_coeff_t *coeffs, int qno, int klass) {
  qno &= 15;
  klass &= 3;
  // libgcc reads the processor's features before any call can come.
  if (__builtin_cpu_supports("avx2")) {
    Transform248Avx2(coeffs, dv_quant_248_mul_tab[klass == 3][qno + dv_quant_offset[klass]]);
    return;
  }
  dv_248_coeff_t scratch[64];
  _dv_quant_248_inverse(coeffs, qno, klass, scratch);
  dv_idct_248(scratch, coeffs);
}

void Dequantise88(dv_coeff_t *coeffs, int qno, int klass) {
  dequantise(coeffs, qno & 15, klass & 3, multipliers());
}

void TransformSegment(dv_videosegment_t *seg, unsigned quality, BlockSet blocks, const DcOnlyRowPlan **plans,
                      uint32_t ac_free) {
  if (!(quality & DV_QUALITY_COLOR)) blocks &= kLumaBlocks;
  const int block_count = quality & DV_QUALITY_COLOR ? kColourBlocks : kLumaOnlyBlocks;
  const bool dc_only = (quality & DV_QUALITY_AC_MASK) == DV_QUALITY_DC;
  if (dc_only) {
    FillDcOnlyBlocks(seg, block_count, blocks, plans);
    return;
  }
  // The chosen blocks of every macroblock: bit kColourBlocks * m + b.
  uint32_t chosen = 0;
  for (int m = 0; m < kMacroblocks; ++m)
    chosen |= (blocks & ((1u << block_count) - 1)) << (kColourBlocks * m);
  if (chosen & ac_free) FillSegmentBlocks(seg, chosen & ac_free);  // look-ups: most blocks of a plain picture
  const Multipliers &table = multipliers();
  // 8-8 blocks go through the inverse DCT in pairs, which AVX2 does at once,
  // dequantised on the way in.
  dv_coeff_t *waiting = nullptr;
  const int16_t *waiting_factors = nullptr;
  for (uint32_t todo = chosen & ~ac_free; todo != 0; todo &= todo - 1) {
    const int i = __builtin_ctz(todo);
    dv_macroblock_t &mb = seg->mb[i / kColourBlocks];
    dv_block_t &block = mb.b[i % kColourBlocks];
    if (block.dct_mode == kDct248) {
      BlockWork248(block.coeffs, mb.qno, block.class_no);
    } else {
      const int16_t *factors = factors_of(mb.qno & 15, block.class_no & 3, table);
      if (waiting == nullptr) {
        waiting = block.coeffs;
        waiting_factors = factors;
      } else {
        Idct88Pair(waiting, block.coeffs, waiting_factors, factors);
        waiting = nullptr;
      }
    }
  }
  if (waiting != nullptr) Idct88(waiting, waiting_factors);
}

}  // namespace ozmira
