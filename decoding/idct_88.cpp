// libdv's MMX inverse DCT (idct_block_mmx_x86_64.S) reworked for SSE2.
//
// The MMX routine prescales every coefficient (preSC, with the weights folded
// in), runs a 1-D pass down the columns four at a time, transposes, and runs a
// second 1-D pass, again four columns at a time, ending with a shift by 4.
// Its second pass treats all eight columns alike, so here it is one pass over
// eight lanes. Its first pass does not: the right four columns keep one more
// bit of precision at several steps and add a rounding constant, so each
// shift that differs is done both ways and the two halves joined (the left
// four lanes from one, the right four from the other). Saturating adds and
// subtracts, wrapping shifts left and the high half of signed products are the
// MMX instructions' own, so every intermediate value is the MMX one.
#include "idct_88.h"

#include <emmintrin.h>

#include "libdv_internal.h"

namespace ozmira {
namespace {

using V = __m128i;

inline V adds(V a, V b) { return _mm_adds_epi16(a, b); }
inline V subs(V a, V b) { return _mm_subs_epi16(a, b); }
inline V mulhi(V a, short constant) { return _mm_mulhi_epi16(a, _mm_set1_epi16(constant)); }

// Lanes 0-3 of `left` with lanes 4-7 of `right`.
inline V join(V left, V right) {
  return _mm_castpd_si128(_mm_move_sd(_mm_castsi128_pd(right), _mm_castsi128_pd(left)));
}
// Arithmetic shifts right and shifts left by one amount in the left four
// columns and another in the right four.
template <int left, int right>
inline V sra(V x) {
  return join(left ? _mm_srai_epi16(x, left) : x, right ? _mm_srai_epi16(x, right) : x);
}
template <int left, int right>
inline V sll(V x) {
  return join(left ? _mm_slli_epi16(x, left) : x, right ? _mm_slli_epi16(x, right) : x);
}

// Fixed-point cosines of the MMX routine (multiplied with pmulhw).
constexpr short kCos4 = 0x5a82;         // 23170
constexpr short kOdd539f = 0x539f;      // 21407
constexpr short kOdd4546 = 0x4546;      // 17734
constexpr short kOdd61f8 = 0x61f8;      // 25080
constexpr int kOutputShift = 4;

// The first pass's rounding bias on the last row of the right four columns,
// added with wrap-around before its shift.
inline V last_row_bias() { return _mm_set_epi16(5, 2, 1, 1, 0, 0, 0, 0); }

struct Rows {
  V r[8];
};

// One row per vector; lanes are columns.
inline Rows load_prescaled(const dv_coeff_t *block) {
  Rows x;
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    const V coefficients = _mm_loadu_si128(reinterpret_cast<const V *>(block + 8 * i));
    const V prescale = _mm_loadu_si128(reinterpret_cast<const V *>(preSC + 8 * i));
    x.r[i] = _mm_mulhi_epi16(prescale, coefficients);
  }
  return x;
}

// The first pass down the columns: the MMX routine's "column 0" in the left
// lanes and "column 1" in the right.
inline Rows first_pass(const Rows &x) {
  // Even part: rows 0, 2, 4, 6.
  const V x2 = sll<0, 1>(x.r[2]), x6 = sra<1, 0>(x.r[6]);
  const V even_difference = mulhi(subs(x2, x6), kCos4);
  const V even_sum = adds(x2, x6);
  const V sum_half = _mm_srai_epi16(even_sum, 1), sum_quarter = _mm_srai_epi16(even_sum, 2);
  const V outer_sum = sra<1, 0>(adds(x.r[0], x.r[4]));
  const V outer_difference = sra<2, 1>(subs(x.r[0], x.r[4]));
  const V inner = subs(even_difference, sum_quarter);
  const V e0 = adds(outer_sum, sum_half), e3 = subs(outer_sum, sum_half);
  const V e1 = adds(inner, outer_difference), e2 = subs(outer_difference, inner);

  // Odd part: rows 1, 3, 5, 7.
  const V x3 = sll<0, 1>(x.r[3]);
  const V d53 = subs(x.r[5], x3), s53 = adds(x.r[5], x3);
  const V s53_half = _mm_srai_epi16(s53, 1);
  const V p33 = _mm_slli_epi16(mulhi(d53, kOdd539f), 1);
  const V x7 = _mm_srai_epi16(_mm_add_epi16(x.r[7], last_row_bias()), 2);
  const V s17 = adds(x.r[1], x7), d17 = subs(x.r[1], x7);
  const V s17_scaled = sra<1, 0>(s17);
  const V p35 = mulhi(sll<0, 1>(d17), kOdd4546);
  const V p36 = mulhi(subs(_mm_srai_epi16(d53, 1), sra<1, 0>(d17)), kOdd61f8);
  const V o0 = adds(s17_scaled, s53_half);
  const V p34 = mulhi(subs(s17_scaled, s53_half), kCos4);
  const V p37 = sll<1, 0>(subs(p36, p33));
  const V p38 = sll<1, 0>(subs(p35, p36));
  const V o0_scaled = sra<0, 1>(o0);
  const V o1 = subs(p38, o0_scaled);
  const V o2 = subs(sll<2, 1>(p34), o1);
  const V o3 = adds(p37, o2);

  // Output butterfly.
  const V e0_scaled = sra<0, 1>(e0), e1_scaled = sll<1, 0>(e1), e2_scaled = sll<1, 0>(e2),
          e3_scaled = sra<0, 1>(e3);
  return {{adds(e0_scaled, o0_scaled), adds(e1_scaled, o1), adds(e2_scaled, o2), subs(e3_scaled, o3),
           adds(e3_scaled, o3), subs(e2_scaled, o2), subs(e1_scaled, o1), subs(e0_scaled, o0_scaled)}};
}

inline Rows transpose(const Rows &x) {
  V a[8], b[8];
#pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) {
    a[i] = _mm_unpacklo_epi16(x.r[2 * i], x.r[2 * i + 1]);
    a[i + 4] = _mm_unpackhi_epi16(x.r[2 * i], x.r[2 * i + 1]);
  }
#pragma GCC unroll 2
  for (int i = 0; i < 8; i += 4) {
    b[i] = _mm_unpacklo_epi32(a[i], a[i + 1]);
    b[i + 1] = _mm_unpackhi_epi32(a[i], a[i + 1]);
    b[i + 2] = _mm_unpacklo_epi32(a[i + 2], a[i + 3]);
    b[i + 3] = _mm_unpackhi_epi32(a[i + 2], a[i + 3]);
  }
  Rows t;
#pragma GCC unroll 2
  for (int i = 0; i < 2; ++i) {
    const int from = 4 * i;
    t.r[4 * i + 0] = _mm_unpacklo_epi64(b[from], b[from + 2]);
    t.r[4 * i + 1] = _mm_unpackhi_epi64(b[from], b[from + 2]);
    t.r[4 * i + 2] = _mm_unpacklo_epi64(b[from + 1], b[from + 3]);
    t.r[4 * i + 3] = _mm_unpackhi_epi64(b[from + 1], b[from + 3]);
  }
  return t;
}

// The second pass, the same in every lane, with the final shift.
inline void second_pass(const Rows &p, dv_coeff_t *block) {
  const V d26 = mulhi(subs(p.r[2], p.r[6]), kCos4), s26 = adds(p.r[2], p.r[6]);
  const V s04 = adds(p.r[0], p.r[4]), d04 = subs(p.r[0], p.r[4]);
  const V inner = subs(_mm_slli_epi16(d26, 2), s26);
  const V e0 = adds(s04, s26), e1 = adds(d04, inner), e2 = subs(d04, inner), e3 = subs(s04, s26);

  const V d53 = subs(p.r[5], p.r[3]), s53 = adds(p.r[5], p.r[3]);
  const V s17 = adds(p.r[1], p.r[7]), d17 = subs(p.r[1], p.r[7]);
  const V p151 = mulhi(d53, kOdd539f), p153 = mulhi(d17, kOdd4546);
  const V p154 = mulhi(subs(d53, d17), kOdd61f8), p152 = mulhi(subs(s17, s53), kCos4);
  const V o0 = adds(s17, s53);
  const V p155 = subs(p154, _mm_slli_epi16(p151, 2));
  const V p156 = subs(_mm_slli_epi16(p153, 1), p154);
  const V o1 = subs(_mm_slli_epi16(p156, 1), o0);
  const V o2 = subs(_mm_slli_epi16(p152, 2), o1);
  const V o3 = adds(_mm_slli_epi16(p155, 1), o2);

  const V out[8] = {adds(e0, o0), adds(e1, o1), adds(e2, o2), subs(e3, o3),
                    adds(e3, o3), subs(e2, o2), subs(e1, o1), subs(e0, o0)};
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    _mm_storeu_si128(reinterpret_cast<V *>(block + 8 * i), _mm_srai_epi16(out[i], kOutputShift));
  }
}

}  // namespace

void idct_88(dv_coeff_t *block) { second_pass(transpose(first_pass(load_prescaled(block))), block); }

}  // namespace ozmira
