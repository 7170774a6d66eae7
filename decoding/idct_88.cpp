// libdv's MMX inverse DCT (idct_block_mmx_x86_64.S) reworked for SSE2: the
// steps of idct_88_steps.h on one block, a row per vector.
#include "idct_88.h"

#include <emmintrin.h>

#include "idct_88_steps.h"
#include "libdv_internal.h"

namespace ozmira {
namespace {

struct Sse2 {
  using V = __m128i;
  static V adds(V a, V b) { return _mm_adds_epi16(a, b); }
  static V subs(V a, V b) { return _mm_subs_epi16(a, b); }
  static V add(V a, V b) { return _mm_add_epi16(a, b); }
  static V mulhi(V a, short constant) { return _mm_mulhi_epi16(a, _mm_set1_epi16(constant)); }
  template <int n>
  static V srai(V x) {
    return _mm_srai_epi16(x, n);
  }
  template <int n>
  static V slli(V x) {
    return _mm_slli_epi16(x, n);
  }
  // Lanes 0-3 of `left` with lanes 4-7 of `right`.
  static V join(V left, V right) {
    return _mm_castpd_si128(_mm_move_sd(_mm_castsi128_pd(right), _mm_castsi128_pd(left)));
  }
  // The first pass's rounding bias on the last row of the right four
  // columns, added with wrap-around before its shift.
  static V last_row_bias() { return _mm_set_epi16(5, 2, 1, 1, 0, 0, 0, 0); }
  static V unpacklo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static V unpackhi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
  static V unpacklo32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
  static V unpackhi32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
  static V unpacklo64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
  static V unpackhi64(V a, V b) { return _mm_unpackhi_epi64(a, b); }
};

}  // namespace

void Idct88Sse2(dv_coeff_t *block, const int16_t *factors) {
  using V = __m128i;
  idct_steps::Rows<Sse2> x;
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    V coefficients = _mm_loadu_si128(reinterpret_cast<const V *>(block + 8 * i));
    if (factors != nullptr)
      coefficients =
          _mm_mullo_epi16(coefficients, _mm_loadu_si128(reinterpret_cast<const V *>(factors + 8 * i)));
    const V prescale = _mm_loadu_si128(reinterpret_cast<const V *>(preSC + 8 * i));
    x.r[i] = _mm_mulhi_epi16(prescale, coefficients);
  }
  const idct_steps::Rows<Sse2> out = idct_steps::transform<Sse2>(x);
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<V *>(block + 8 * i), out.r[i]);
}

void Idct88(dv_coeff_t *block, const int16_t *factors) { Idct88Sse2(block, factors); }

void Idct88Pair(dv_coeff_t *first, dv_coeff_t *second, const int16_t *first_factors,
                const int16_t *second_factors) {
  // libgcc reads the processor's features before any call can come.
  if (__builtin_cpu_supports("avx2")) return Idct88PairAvx2(first, second, first_factors, second_factors);
  Idct88Sse2(first, first_factors);
  Idct88Sse2(second, second_factors);
}

}  // namespace ozmira
