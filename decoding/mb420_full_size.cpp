// The full-size extended renderers (red integers, luminance bytes, RGB0),
// eight pixels per step with SSE2. The table entries are computed exactly
// (conversion_sse2.h); the final clamp to 0..255 is a signed then an unsigned
// saturating pack, the same values clamp_8bit gives.
#include "mb420_full_size.h"
#include "mb420_renderers.h"
#include "mb420_sse2.h"

namespace ozmira {
namespace {

void fill_chroma_planes(const dv_macroblock_t *mb, ChromaPlanes &planes) {
  for (int at = 0; at < 64; at += 8) {
    const __m128i cr = load8(mb->b[4].coeffs + at), cb = load8(mb->b[5].coeffs + at);
    const Int32x8 green_cr = green_of_cr_x8(cr), green_cb = green_of_cb_x8(cb);
    store8(planes.red + at, red_of_cr_x8(cr));
    store8(planes.green + at,
           {_mm_sub_epi32(_mm_setzero_si128(), _mm_add_epi32(green_cr.low, green_cb.low)),
            _mm_sub_epi32(_mm_setzero_si128(), _mm_add_epi32(green_cr.high, green_cb.high))});
    store8(planes.blue + at, blue_of_cb_x8(cb));
  }
}

void fill_red_plane(const dv_macroblock_t *mb, int32_t *red) {
  for (int at = 0; at < 64; at += 8) store8(red + at, red_of_cr_x8(load8(mb->b[4].coeffs + at)));
}

inline Int32x8 load_luma_x8(const dv_coeff_t *samples) { return scaled_luma_x8(load8(samples)); }

}  // namespace

void Mb420RowsRgb(dv_macroblock_t *mb, uint8_t **pixels, int pitch) {
  // libgcc reads the processor's features before any call can come.
  (__builtin_cpu_supports("avx2") ? Mb420RowsRgbAvx2 : Mb420RowsRgbSse2)(mb, pixels, pitch);
}

void Mb420RowsRgbSse2(dv_macroblock_t *mb, uint8_t **pixels, int) {
  ChromaPlanes planes;
  fill_chroma_planes(mb, planes);
  for (int u = 0; u < 8; ++u) {
    const int first_row = first_luma_row(u);
    for (int half = 0; half < 2; ++half) {
      const int at = 8 * u + 4 * half;
      const WideTerms red = widen(planes.red + at), green = widen(planes.green + at),
                      blue = widen(planes.blue + at);
      for (int r = first_row; r <= first_row + 2; r += 2) {
        const Int32x8 luma = load_luma_x8(luma_row(mb, r, half));
        const __m128i red_blue = _mm_packus_epi16(component_x8(luma, red), component_x8(luma, blue));
        const __m128i green_zero = _mm_packus_epi16(component_x8(luma, green), _mm_setzero_si128());
        const __m128i rg = _mm_unpacklo_epi8(red_blue, green_zero);  // R G R G ...
        const __m128i b0 = _mm_unpackhi_epi8(red_blue, green_zero);  // B 0 B 0 ...
        uint8_t *out = pixels[mb->y + r] + 4 * (mb->x + 8 * half);
        store16(out, _mm_unpacklo_epi16(rg, b0));
        store16(out + 16, _mm_unpackhi_epi16(rg, b0));
      }
    }
  }
}

void Mb420RowsI(dv_macroblock_t *mb, uint8_t **pixels, int) {
  alignas(16) int32_t red_plane[64];
  fill_red_plane(mb, red_plane);
  const __m128i zero = _mm_setzero_si128();
  // Progressive 4:2:0: rows 2k and 2k + 1 share chroma row k.
  for (int r = 0; r < 16; ++r) {
    for (int half = 0; half < 2; ++half) {
      const WideTerms red = widen(red_plane + 8 * (r >> 1) + 4 * half);
      const __m128i bytes = _mm_packus_epi16(component_x8(load_luma_x8(luma_row(mb, r, half)), red), zero);
      const __m128i words = _mm_unpacklo_epi8(bytes, zero);
      uint8_t *out = pixels[mb->y + r] + 4 * (mb->x + 8 * half);
      store16(out, _mm_unpacklo_epi16(words, zero));
      store16(out + 16, _mm_unpackhi_epi16(words, zero));
    }
  }
}

void Mb420RowsL(dv_macroblock_t *mb, uint8_t **pixels, int) {
  for (int r = 0; r < 16; ++r) {
    for (int half = 0; half < 2; ++half) {
      const Int32x8 luma = load_luma_x8(luma_row(mb, r, half));
      const __m128i words = _mm_packs_epi32(_mm_srai_epi32(luma.low, kColorFractionBits),
                                            _mm_srai_epi32(luma.high, kColorFractionBits));
      _mm_storel_epi64(reinterpret_cast<__m128i *>(pixels[mb->y + r] + mb->x + 8 * half),
                       _mm_packus_epi16(words, words));
    }
  }
}

}  // namespace ozmira
