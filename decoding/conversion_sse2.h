// The colour tables' entries for eight samples at once, computed instead of
// looked up, so that the full-size renderers do no scalar work per sample.
// Every table entry is the nearest integer to a product c x F (F = 1191.936
// for luma_scale on the luma level n = clamp(y, -112, 107) + 112; F = 1634.304,
// 832.512, 400.384 or 2066.432 for the chroma tables on c = clamp(s, -112, 112)),
// that is an integer multiple of c plus a rounded product small enough for
// 16 bits, computed with a multiply-high (no product is a tie). The renderers
// built on these are checked against libdv's on every clip and on random
// samples of the whole 16-bit range.
#pragma once

#include <emmintrin.h>

namespace ozmira {

// Eight table entries as two vectors of four int32.
struct Int32x8 {
  __m128i low;   // samples 0-3
  __m128i high;  // samples 4-7
};

namespace sse2_detail {

struct Factor {
  short whole, multiplier, rounding;
};
inline constexpr Factor kLuma{1191, static_cast<short>(61341), 137};

// floor(F) x n + rint(frac(F) x n) for eight levels n (0..219), in 32 bits.
inline Int32x8 scale(__m128i n, const Factor &f) {
  const __m128i scaled = _mm_add_epi16(_mm_slli_epi16(n, 8), _mm_set1_epi16(f.rounding));
  const __m128i fraction = _mm_srli_epi16(_mm_mulhi_epu16(scaled, _mm_set1_epi16(f.multiplier)), 8);
  // Pairs (n, fraction) times (whole, 1), summed into 32 bits.
  const __m128i weights = _mm_set1_epi32(static_cast<unsigned short>(f.whole) | (1 << 16));
  return {_mm_madd_epi16(_mm_unpacklo_epi16(n, fraction), weights),
          _mm_madd_epi16(_mm_unpackhi_epi16(n, fraction), weights)};
}

inline __m128i clamp16(__m128i v, short low, short high) {
  return _mm_min_epi16(_mm_max_epi16(v, _mm_set1_epi16(low)), _mm_set1_epi16(high));
}

}  // namespace sse2_detail

// luma_scale[y] for eight luminance samples.
inline Int32x8 scaled_luma_x8(__m128i samples) {
  using namespace sse2_detail;
  return scale(_mm_add_epi16(clamp16(samples, -112, 107), _mm_set1_epi16(112)), kLuma);
}

// A chroma table's entries for eight chrominance samples clamped to
// low..high (within -128..127): whole x c + rint(fraction x c) with whole the
// nearest integer to F, so |fraction| < 1/2. The rounded product needs no
// sign handling: for every c in range it equals ((128 c + K) x M) >> 23, a
// signed 16-bit multiply-high, with the constants below.
struct ChromaFactor {
  short whole, multiplier, rounding;
};
inline constexpr ChromaFactor kRedOfCr{1634, 19920, 210};
inline constexpr ChromaFactor kGreenOfCr{833, -31987, -131};
inline constexpr ChromaFactor kGreenOfCb{400, 25163, 167};
inline constexpr ChromaFactor kBlueOfCb{2066, 28302, 148};

inline Int32x8 chroma_offset_x8(__m128i samples, const ChromaFactor &f, short low = -112, short high = 112) {
  using namespace sse2_detail;
  constexpr int kScaleBits = 7;
  const __m128i c = clamp16(samples, low, high);
  const __m128i scaled = _mm_add_epi16(_mm_slli_epi16(c, kScaleBits), _mm_set1_epi16(f.rounding));
  const __m128i fraction = _mm_srai_epi16(_mm_mulhi_epi16(scaled, _mm_set1_epi16(f.multiplier)), kScaleBits);
  // Pairs (c, fraction) times (whole, 1), summed into 32 bits.
  const __m128i weights = _mm_set1_epi32(static_cast<unsigned short>(f.whole) | (1 << 16));
  return {_mm_madd_epi16(_mm_unpacklo_epi16(c, fraction), weights),
          _mm_madd_epi16(_mm_unpackhi_epi16(c, fraction), weights)};
}

inline Int32x8 red_of_cr_x8(__m128i cr) { return chroma_offset_x8(cr, kRedOfCr); }
inline Int32x8 green_of_cr_x8(__m128i cr) { return chroma_offset_x8(cr, kGreenOfCr); }
inline Int32x8 green_of_cb_x8(__m128i cb) { return chroma_offset_x8(cb, kGreenOfCb); }
inline Int32x8 blue_of_cb_x8(__m128i cb) { return chroma_offset_x8(cb, kBlueOfCb); }

// libdv's chroma tables: the same factors, samples clamped to one signed byte.
inline constexpr short kLibdvChromaLow = -128, kLibdvChromaHigh = 127;
inline Int32x8 libdv_chroma_offset_x8(__m128i samples, const ChromaFactor &factor) {
  return chroma_offset_x8(samples, factor, kLibdvChromaLow, kLibdvChromaHigh);
}

// libdv's ylut[y] = rint(1191.936 (y + 112)) for y clamped to -256..511 is
// 1192 y + kLibdvLumaBias - t with t = floor((16 y + 4167) / 250), an integer
// 0..49 (1191.936 = 1192 - 8/125, and rint(8 n / 125) = floor((16 n + 125) /
// 250) as no product is a tie). The division is a 16-bit multiply-high.
// Returns luma_scale[y] - kLibdvLumaBias; callers add the bias to their offsets.
inline constexpr int kLibdvLumaBias = 133513;
inline Int32x8 libdv_scaled_luma_x8(__m128i samples) {
  using namespace sse2_detail;
  constexpr short kLow = -256, kHigh = 511, kRounding = 4167;
  constexpr short kReciprocal250 = static_cast<short>(33555);  // 2^23 / 250, rounded up
  const __m128i y = clamp16(samples, kLow, kHigh);
  const __m128i scaled = _mm_add_epi16(_mm_slli_epi16(y, 4), _mm_set1_epi16(kRounding));
  const __m128i t = _mm_srli_epi16(_mm_mulhi_epu16(scaled, _mm_set1_epi16(kReciprocal250)), 7);
  // Pairs (y, t) times (1192, -1), summed into 32 bits.
  const __m128i weights = _mm_set1_epi32(static_cast<int>(0xffff0000u | 1192u));
  return {_mm_madd_epi16(_mm_unpacklo_epi16(y, t), weights),
          _mm_madd_epi16(_mm_unpackhi_epi16(y, t), weights)};
}

}  // namespace ozmira
