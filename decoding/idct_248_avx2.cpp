// The 2-4-8 block work with AVX2 (idct_248.h): libdv's dv_idct_248 step by
// step, a vector holding one row of the block (or, after the transpose, one
// column). Built with -mavx2; called only where the processor has it.
#include <immintrin.h>

#include "idct_248.h"

namespace ozmira {
namespace {

// libdv's constants of the transform (dv_dct_248_init), as it stores them.
constexpr int32_t kB0 = 0x3b20d79e, kB1 = static_cast<int32_t>(0xe7821d5au), kB2 = 0x2d413ccc,
                  kB3 = static_cast<int32_t>(0xb2bec334u), kB4 = 0x0d413ccc;
constexpr int kRounding = 0x2000, kFinalShift = 14;

inline __m256i add(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
inline __m256i sub(__m256i a, __m256i b) { return _mm256_sub_epi32(a, b); }

// Divisions by 4 and 2 that round toward zero, as C's do.
inline __m256i quarter(__m256i x) {
  return _mm256_srai_epi32(add(x, _mm256_srli_epi32(_mm256_srai_epi32(x, 31), 30)), 2);
}
inline __m256i half(__m256i x) { return _mm256_srai_epi32(add(x, _mm256_srli_epi32(x, 31)), 1); }

// Four times the high 32 bits of each 64-bit product x * c: libdv's
// fixed-point multiply.
inline __m256i times(__m256i x, int32_t c) {
  const __m256i k = _mm256_set1_epi32(c);
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epi32(x, k), 32);
  const __m256i odd = _mm256_mul_epi32(_mm256_srli_epi64(x, 32), k);
  return _mm256_slli_epi32(_mm256_blend_epi32(even, odd, 0xaa), 2);
}

void transpose(__m256i (&v)[8]) {
  __m256i t[8], u[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(v[i], v[i + 1]);
    t[i + 1] = _mm256_unpackhi_epi32(v[i], v[i + 1]);
  }
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
    u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
    u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
    u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    v[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
    v[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
  }
}

}  // namespace

void Transform248Avx2(dv_coeff_t *block, const int32_t *factors) {
  __m256i x[8], t[8];
  for (int r = 0; r < 8; ++r) {
    const __m256i coeffs =
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 8 * r)));
    x[r] = _mm256_mullo_epi32(coeffs, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(factors + 8 * r)));
  }
  // Down the columns: a four-point transform of each field's rows (0-3 and
  // 4-7), then their sums and differences.
  for (int h = 0; h < 8; h += 4) {
    t[h] = add(quarter(x[h]), half(x[h + 2]));
    t[h + 1] = sub(quarter(x[h]), half(x[h + 2]));
    t[h + 2] = add(times(x[h + 3], kB3), times(x[h + 1], kB4));
    t[h + 3] = sub(_mm256_setzero_si256(), half(add(x[h + 1], x[h + 3])));
  }
  x[0] = quarter(sub(add(sub(t[0], t[3]), t[4]), t[7]));
  x[1] = quarter(add(sub(sub(t[0], t[3]), t[4]), t[7]));
  x[6] = quarter(add(add(add(t[0], t[3]), t[4]), t[7]));
  x[7] = quarter(sub(sub(add(t[0], t[3]), t[4]), t[7]));
  x[2] = quarter(add(add(add(t[1], t[2]), t[5]), t[6]));
  x[3] = quarter(sub(sub(add(t[1], t[2]), t[5]), t[6]));
  x[4] = quarter(sub(add(sub(t[1], t[2]), t[5]), t[6]));
  x[5] = quarter(add(sub(sub(t[1], t[2]), t[5]), t[6]));
  // Along the rows: x[k] holds element k of every row.
  transpose(x);
  t[0] = x[0];
  t[1] = x[4];
  t[2] = times(sub(x[2], x[6]), kB2);
  t[3] = add(x[2], x[6]);
  t[4] = add(times(sub(x[3], x[5]), kB0), times(sub(x[1], x[7]), kB1));
  t[5] = times(add(sub(sub(x[1], x[3]), x[5]), x[7]), kB2);
  t[6] = add(times(sub(x[5], x[3]), kB1), times(sub(x[1], x[7]), kB0));
  t[7] = add(add(add(x[1], x[3]), x[5]), x[7]);
  const __m256i sum = add(t[0], t[1]), difference = sub(t[0], t[1]);
  x[0] = add(add(add(add(sum, t[2]), t[3]), t[6]), t[7]);
  x[1] = add(add(add(difference, t[2]), t[5]), t[6]);
  x[2] = add(sub(sub(difference, t[2]), t[4]), t[5]);
  x[3] = sub(sub(sub(sum, t[2]), t[3]), t[4]);
  x[4] = add(sub(sub(sum, t[2]), t[3]), t[4]);
  x[5] = sub(add(sub(difference, t[2]), t[4]), t[5]);
  x[6] = sub(sub(add(difference, t[2]), t[5]), t[6]);
  x[7] = sub(sub(add(add(sum, t[2]), t[3]), t[6]), t[7]);
  for (__m256i &v : x) {
    // Rounded, and the low 16 bits sign-extended, so that the pack below
    // keeps them as libdv's 16-bit store does.
    const __m256i rounded = _mm256_srai_epi32(add(v, _mm256_set1_epi32(kRounding)), kFinalShift);
    v = _mm256_srai_epi32(_mm256_slli_epi32(rounded, 16), 16);
  }
  transpose(x);
  for (int r = 0; r < 8; r += 2) {
    const __m256i rows = _mm256_permute4x64_epi64(_mm256_packs_epi32(x[r], x[r + 1]), 0xd8);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(block + 8 * r), rows);
  }
}

}  // namespace ozmira
