// The inverse DCT of idct_88_steps.h with AVX2: two blocks at once, the
// first in the low 128 bits of each vector, the second in the high. Built
// with -mavx2; called only where the processor has it.
#include <immintrin.h>

#include "idct_88.h"
#include "idct_88_steps.h"
#include "libdv_internal.h"

namespace ozmira {
namespace {

struct Avx2 {
  using V = __m256i;
  static V adds(V a, V b) { return _mm256_adds_epi16(a, b); }
  static V subs(V a, V b) { return _mm256_subs_epi16(a, b); }
  static V add(V a, V b) { return _mm256_add_epi16(a, b); }
  static V mulhi(V a, short constant) { return _mm256_mulhi_epi16(a, _mm256_set1_epi16(constant)); }
  template <int n>
  static V srai(V x) {
    return _mm256_srai_epi16(x, n);
  }
  template <int n>
  static V slli(V x) {
    return _mm256_slli_epi16(x, n);
  }
  // In each half, lanes 0-3 of `left` with lanes 4-7 of `right`.
  static V join(V left, V right) { return _mm256_blend_epi32(right, left, 0x33); }
  static V last_row_bias() { return _mm256_set_epi16(5, 2, 1, 1, 0, 0, 0, 0, 5, 2, 1, 1, 0, 0, 0, 0); }
  static V unpacklo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
  static V unpackhi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
  static V unpacklo32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
  static V unpackhi32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
  static V unpacklo64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
  static V unpackhi64(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
};

__m128i load_row(const int16_t *block, int i) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 8 * i));
}

}  // namespace

void Idct88PairAvx2(dv_coeff_t *first, dv_coeff_t *second, const int16_t *first_factors,
                    const int16_t *second_factors) {
  using V = __m256i;
  idct_steps::Rows<Avx2> x;
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    V coefficients = _mm256_set_m128i(load_row(second, i), load_row(first, i));
    if (first_factors != nullptr)  // both or neither
      coefficients = _mm256_mullo_epi16(
          coefficients, _mm256_set_m128i(load_row(second_factors, i), load_row(first_factors, i)));
    x.r[i] = _mm256_mulhi_epi16(_mm256_broadcastsi128_si256(load_row(preSC, i)), coefficients);
  }
  const idct_steps::Rows<Avx2> out = idct_steps::transform<Avx2>(x);
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(first + 8 * i), _mm256_castsi256_si128(out.r[i]));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(second + 8 * i), _mm256_extracti128_si256(out.r[i], 1));
  }
}

}  // namespace ozmira
