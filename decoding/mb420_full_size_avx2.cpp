// The full-size RGB0 renderer with AVX2, a whole row of sixteen pixels per
// step: the same arithmetic as the SSE2 one (conversion_sse2.h), on twice the
// lanes. AVX2 works within 128-bit halves, so each half holds one luminance
// block's eight pixels and the chrominance terms are laid out to match.
// Built with -mavx2; called only where the processor has it.
//
// Only constants and types come from the SSE2 headers: an inline function
// compiled here would carry AVX2 code that the linker might keep for every
// caller.
#include <immintrin.h>

#include "conversion_avx2.h"
#include "conversion_sse2.h"
#include "mb420_full_size.h"
#include "mb420_sse2.h"

namespace ozmira {
namespace {

inline __m128i load_eight(const dv_coeff_t *samples) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples));
}

// Row r (0-15) of the macroblock's left (0) or right (1) luminance blocks.
inline const dv_coeff_t *luma_samples(const dv_macroblock_t *mb, int r, int half) {
  return mb->b[2 * (r >> 3) + half].coeffs + 8 * (r & 7);
}

inline Int32x16 scaled_luma_x16(__m256i samples) {
  const sse2_detail::Factor &f = sse2_detail::kLuma;
  const __m256i n = _mm256_add_epi16(clamp16(samples, -112, 107), _mm256_set1_epi16(112));
  const __m256i scaled = _mm256_add_epi16(_mm256_slli_epi16(n, 8), _mm256_set1_epi16(f.rounding));
  const __m256i fraction = _mm256_srli_epi16(_mm256_mulhi_epu16(scaled, _mm256_set1_epi16(f.multiplier)), 8);
  const __m256i weights = _mm256_set1_epi32(static_cast<unsigned short>(f.whole) | (1 << 16));
  return {_mm256_madd_epi16(_mm256_unpacklo_epi16(n, fraction), weights),
          _mm256_madd_epi16(_mm256_unpackhi_epi16(n, fraction), weights)};
}

// (luma + terms) >> 10 for sixteen pixels, as sixteen int16 in order.
inline __m256i component_x16(const Int32x16 &luma, __m256i terms_low, __m256i terms_high) {
  return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(luma.low, terms_low), kColorFractionBits),
                            _mm256_srai_epi32(_mm256_add_epi32(luma.high, terms_high), kColorFractionBits));
}

}  // namespace

void Mb420RowsRgbAvx2(dv_macroblock_t *mb, uint8_t **pixels, int) {
  ChromaPlanes planes;
  for (int at = 0; at < 64; at += 16) {
    const __m256i cr = load16(mb->b[4].coeffs + at), cb = load16(mb->b[5].coeffs + at);
    const Int32x16 green_cr = chroma_offset_x16(cr, kGreenOfCr, -112, 112),
                   green_cb = chroma_offset_x16(cb, kGreenOfCb, -112, 112);
    store16(planes.red + at, chroma_offset_x16(cr, kRedOfCr, -112, 112));
    store16(planes.green + at,
            {_mm256_sub_epi32(_mm256_setzero_si256(), _mm256_add_epi32(green_cr.low, green_cb.low)),
             _mm256_sub_epi32(_mm256_setzero_si256(), _mm256_add_epi32(green_cr.high, green_cb.high))});
    store16(planes.blue + at, chroma_offset_x16(cb, kBlueOfCb, -112, 112));
  }
  const __m256i zero = _mm256_setzero_si256();
  for (int u = 0; u < 8; ++u) {
    const int first_row = 4 * (u >> 1) + (u & 1);  // interlaced: rows first_row and first_row + 2
    __m256i red_low, red_high, green_low, green_high, blue_low, blue_high;
    doubled_terms(planes.red, u, red_low, red_high);
    doubled_terms(planes.green, u, green_low, green_high);
    doubled_terms(planes.blue, u, blue_low, blue_high);
    for (int r = first_row; r <= first_row + 2; r += 2) {
      const __m256i samples =
          _mm256_set_m128i(load_eight(luma_samples(mb, r, 1)), load_eight(luma_samples(mb, r, 0)));
      const Int32x16 luma = scaled_luma_x16(samples);
      const __m256i red_blue = _mm256_packus_epi16(component_x16(luma, red_low, red_high),
                                                   component_x16(luma, blue_low, blue_high));
      const __m256i green_zero = _mm256_packus_epi16(component_x16(luma, green_low, green_high), zero);
      const __m256i rg = _mm256_unpacklo_epi8(red_blue, green_zero);  // R G R G ...
      const __m256i b0 = _mm256_unpackhi_epi8(red_blue, green_zero);  // B 0 B 0 ...
      const __m256i first = _mm256_unpacklo_epi16(rg, b0), second = _mm256_unpackhi_epi16(rg, b0);
      auto *out = reinterpret_cast<__m256i *>(pixels[mb->y + r] + 4 * mb->x);
      _mm256_storeu_si256(out, _mm256_permute2x128_si256(first, second, 0x20));
      _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(first, second, 0x31));
    }
  }
}

}  // namespace ozmira
