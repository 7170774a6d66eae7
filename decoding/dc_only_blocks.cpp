#include "dc_only_blocks.h"

#include <emmintrin.h>
#include <pthread.h>

#include <cstdint>
#include <cstring>

#include "block_work.h"
#include "idct_88.h"
#include "libdv_internal.h"

namespace ozmira {
namespace {

constexpr int kLowestDc = -256, kDcValues = 512;  // nine-bit two's complement
constexpr int kModes = 2;                         // 8-8 and 2-4-8
constexpr int kDct248 = 1;
constexpr int kMaxPatterns = 4;
constexpr uint8_t kTransformInstead = 0xff;
constexpr int kSamples = 64, kRows = 8;
constexpr int kBlocks = 6, kShapeBits = 2, kPlans = 1 << (kBlocks * kShapeBits);
constexpr int kPixelRows = 16;
constexpr int kMacroblocks = 5;  // a segment's
static_assert(kMaxPatterns <= 1 << kShapeBits, "a shape must fit its bits");

// Each entry: a base sample and the pattern to add to it (sample minus base,
// wrapping in 16 bits as the addition back does).
struct DcOnlyTable {
  alignas(16) int16_t patterns[kMaxPatterns][kSamples];
  int pattern_count;
  int16_t base[kModes][kDcValues];
  uint8_t pattern[kModes][kDcValues];
  uint8_t first_equal_row[kMaxPatterns][kRows];  // of each pattern row
  DcOnlyRowPlan plans[kPlans];
};

// A plain global, built once: C hosts of the static library have no C++
// runtime for guarded statics.
DcOnlyTable table;
pthread_once_t table_built = PTHREAD_ONCE_INIT;

// Block work on a block holding only `dc`. Neither the quantisation step nor
// the class changes how a DC is dequantised, so step 0 and class 0 serve all.
void transform_dc_only(int dc, int mode, void (*idct)(dv_coeff_t *), dv_coeff_t *samples) {
  std::memset(samples, 0, kSamples * sizeof *samples);
  samples[0] = static_cast<dv_coeff_t>(dc);
  if (mode == kDct248) {
    dv_248_coeff_t scratch[kSamples];
    _dv_quant_248_inverse(samples, 0, 0, scratch);
    dv_idct_248(scratch, samples);
  } else {
    Dequantise88(samples, 0, 0);
    idct(samples);
  }
}

uint8_t pattern_of(const dv_coeff_t *samples) {
  int16_t deviation[kSamples];
  for (int i = 0; i < kSamples; ++i) deviation[i] = static_cast<int16_t>(samples[i] - samples[0]);
  for (int p = 0; p < table.pattern_count; ++p) {
    if (std::memcmp(table.patterns[p], deviation, sizeof deviation) == 0) return static_cast<uint8_t>(p);
  }
  // More patterns than this libdv makes: such entries are transformed.
  if (table.pattern_count == kMaxPatterns) return kTransformInstead;
  std::memcpy(table.patterns[table.pattern_count], deviation, sizeof deviation);
  return static_cast<uint8_t>(table.pattern_count++);
}

int chroma_row_of(int r) { return 2 * (r >> 2) + (r & 1); }
int first_luma_row(int u) { return 4 * (u >> 1) + (u & 1); }

// Pixel rows with the same key are drawn from the same samples: the same
// luminance blocks, and in each block a row equal to the other's.
int row_key(const uint8_t (&first_equal)[kBlocks][kRows], int r) {
  const int top = 2 * (r >> 3), k = r & 7, u = chroma_row_of(r);
  return (r >> 3) | first_equal[top][k] << 1 | first_equal[top + 1][k] << 4 | first_equal[4][u] << 7 |
         first_equal[5][u] << 10;
}

void build_plan(int index) {
  uint8_t first_equal[kBlocks][kRows];
  for (int b = 0; b < kBlocks; ++b) {
    const int shape = index >> (kShapeBits * b) & ((1 << kShapeBits) - 1);
    std::memcpy(first_equal[b], table.first_equal_row[shape], kRows);
  }
  DcOnlyRowPlan &plan = table.plans[index];
  int drawn[kPixelRows], drawn_count = 0;
  for (int u = 0; u < kRows; ++u) {
    for (int r = first_luma_row(u); r <= first_luma_row(u) + 2; r += 2) {
      plan.source[r] = static_cast<uint8_t>(r);
      plan.chroma[r] = static_cast<uint8_t>(first_equal[4][u] | first_equal[5][u] << 3);
      for (int d = 0; d < drawn_count; ++d) {
        if (row_key(first_equal, drawn[d]) == row_key(first_equal, r)) {
          plan.source[r] = static_cast<uint8_t>(drawn[d]);
          break;
        }
      }
      if (plan.source[r] == r) drawn[drawn_count++] = r;
    }
  }
}

// From libdv's own transforms, so that the table is what libdv makes.
void build_table() {
  const dv_coeff_t flat[kSamples] = {};
  pattern_of(flat);  // the first pattern: kFlatShape
  for (int mode = 0; mode < kModes; ++mode) {
    for (int i = 0; i < kDcValues; ++i) {
      dv_coeff_t samples[kSamples];
      transform_dc_only(kLowestDc + i, mode, _dv_idct_88, samples);
      table.base[mode][i] = samples[0];
      table.pattern[mode][i] = pattern_of(samples);
    }
  }
  for (int p = 0; p < table.pattern_count; ++p) {
    for (int k = 0; k < kRows; ++k) {
      int j = 0;
      while (std::memcmp(&table.patterns[p][j * kRows], &table.patterns[p][k * kRows],
                         kRows * sizeof(int16_t)) != 0)
        ++j;
      table.first_equal_row[p][k] = static_cast<uint8_t>(j);
    }
  }
  for (int index = 0; index < kPlans; ++index) build_plan(index);
}

int fill_block(dv_block_t *block) {
  const int mode = block->dct_mode == kDct248 ? kDct248 : 0;
  const int index = block->coeffs[0] - kLowestDc;
  const uint8_t pattern = index >= 0 && index < kDcValues ? table.pattern[mode][index] : kTransformInstead;
  if (pattern == kTransformInstead) {
    transform_dc_only(
        block->coeffs[0], mode, [](dv_coeff_t *coeffs) { Idct88(coeffs); }, block->coeffs);
    return kTransformInstead;
  }
  const __m128i base = _mm_set1_epi16(table.base[mode][index]);
  const auto *rows = reinterpret_cast<const __m128i *>(table.patterns[pattern]);
  auto *out = reinterpret_cast<__m128i *>(block->coeffs);
  for (int r = 0; r < 8; ++r) _mm_storeu_si128(out + r, _mm_add_epi16(base, _mm_load_si128(rows + r)));
  return pattern;
}

const DcOnlyRowPlan *plan_for(const int shapes[kBlocks]) {
  int index = 0;
  for (int b = 0; b < kBlocks; ++b) {
    if (shapes[b] < 0 || shapes[b] >= table.pattern_count) return nullptr;
    index |= shapes[b] << (kShapeBits * b);
  }
  return &table.plans[index];
}

}  // namespace

int FillDcOnlyBlock(dv_block_t *block) {
  pthread_once(&table_built, build_table);
  return fill_block(block);
}

const DcOnlyRowPlan *DcOnlyRowPlanOf(const int shapes[6]) {
  pthread_once(&table_built, build_table);
  return plan_for(shapes);
}

void FillDcOnlyBlocks(dv_videosegment_t *seg, int block_count, unsigned blocks, const DcOnlyRowPlan **plans) {
  pthread_once(&table_built, build_table);
  for (int m = 0; m < kMacroblocks; ++m) {
    int shapes[kBlocks] = {kFlatShape, kFlatShape, kFlatShape, kFlatShape, kFlatShape, kFlatShape};
    for (int b = 0; b < block_count; ++b) {
      if (blocks & (1u << b)) shapes[b] = fill_block(&seg->mb[m].b[b]);
    }
    if (plans != nullptr) plans[m] = plan_for(shapes);
  }
}

void FillSegmentBlocks(dv_videosegment_t *seg, uint32_t blocks) {
  pthread_once(&table_built, build_table);
  for (; blocks != 0; blocks &= blocks - 1) {
    const int i = __builtin_ctz(blocks);
    fill_block(&seg->mb[i / kBlocks].b[i % kBlocks]);
  }
}

}  // namespace ozmira
