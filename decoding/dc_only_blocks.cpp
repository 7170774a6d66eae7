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
constexpr int kModes = 2;                          // 8-8 and 2-4-8
constexpr int kDct248 = 1;
constexpr int kMaxPatterns = 4;
constexpr uint8_t kTransformInstead = 0xff;
constexpr int kSamples = 64;

// Each entry: a base sample and the pattern to add to it (sample minus base,
// wrapping in 16 bits as the addition back does).
struct DcOnlyTable {
  alignas(16) int16_t patterns[kMaxPatterns][kSamples];
  int pattern_count;
  int16_t base[kModes][kDcValues];
  uint8_t pattern[kModes][kDcValues];
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
    dequantise_88(samples, 0, 0);
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

// From libdv's own transforms, so that the table is what libdv makes.
void build_table() {
  for (int mode = 0; mode < kModes; ++mode) {
    for (int i = 0; i < kDcValues; ++i) {
      dv_coeff_t samples[kSamples];
      transform_dc_only(kLowestDc + i, mode, _dv_idct_88, samples);
      table.base[mode][i] = samples[0];
      table.pattern[mode][i] = pattern_of(samples);
    }
  }
}

}  // namespace

void fill_dc_only_block(dv_block_t *block) {
  pthread_once(&table_built, build_table);
  const int mode = block->dct_mode == kDct248 ? kDct248 : 0;
  const int index = block->coeffs[0] - kLowestDc;
  const uint8_t pattern = index >= 0 && index < kDcValues ? table.pattern[mode][index] : kTransformInstead;
  if (pattern == kTransformInstead) {
    transform_dc_only(block->coeffs[0], mode, idct_88, block->coeffs);
    return;
  }
  const __m128i base = _mm_set1_epi16(table.base[mode][index]);
  const auto *rows = reinterpret_cast<const __m128i *>(table.patterns[pattern]);
  auto *out = reinterpret_cast<__m128i *>(block->coeffs);
  for (int r = 0; r < 8; ++r) _mm_storeu_si128(out + r, _mm_add_epi16(base, _mm_load_si128(rows + r)));
}

}  // namespace ozmira
