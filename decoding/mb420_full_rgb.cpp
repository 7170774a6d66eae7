// Full-size RGB0 renderer (format b_dv_color_RGB), eight pixels per step with
// SSE2. The chrominance offsets come from the tables once per sample; the
// luminance is computed exactly (luma_sse2.h); the final clamp to 0..255 is a
// signed then an unsigned saturating pack, the same values rgblut gives.
#include <emmintrin.h>

#include "luma_sse2.h"
#include "mb420_renderers.h"
#include "sample_conversion.h"

namespace ozmira {
namespace {

struct alignas(16) ChromaPlanes {
  int32_t red[64], green[64], blue[64];
};

void fill_chroma_planes(const dv_macroblock_t *mb, ChromaPlanes &planes) {
  const dv_coeff_t *cr = mb->b[4].coeffs, *cb = mb->b[5].coeffs;
  for (int i = 0; i < 64; ++i) {
    const ChromaTerms terms = chroma_terms(cr[i], cb[i]);
    planes.red[i] = terms.red;
    planes.green[i] = terms.green;
    planes.blue[i] = terms.blue;
  }
}

// Four chroma terms, each repeated for the two pixels it covers.
struct WideTerms {
  __m128i low, high;
};

inline WideTerms widen(const int32_t *terms) {
  const __m128i t = _mm_load_si128(reinterpret_cast<const __m128i *>(terms));
  return {_mm_unpacklo_epi32(t, t), _mm_unpackhi_epi32(t, t)};
}

inline __m128i component_x8(const LumaPair &luma, const WideTerms &terms) {
  const __m128i low = _mm_srai_epi32(_mm_add_epi32(luma.low, terms.low), kColorFractionBits);
  const __m128i high = _mm_srai_epi32(_mm_add_epi32(luma.high, terms.high), kColorFractionBits);
  return _mm_packs_epi32(low, high);
}

// Eight luminance samples with their chroma terms to eight RGB0 pixels.
inline void put_rgb0_x8(uint8_t *out, const dv_coeff_t *luma_samples, const WideTerms &red,
                        const WideTerms &green, const WideTerms &blue) {
  const LumaPair luma =
      scaled_luma_x8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(luma_samples)));
  const __m128i red_blue = _mm_packus_epi16(component_x8(luma, red), component_x8(luma, blue));
  const __m128i green_zero = _mm_packus_epi16(component_x8(luma, green), _mm_setzero_si128());
  const __m128i rg = _mm_unpacklo_epi8(red_blue, green_zero);  // R G R G ...
  const __m128i b0 = _mm_unpackhi_epi8(red_blue, green_zero);  // B 0 B 0 ...
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi16(rg, b0));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16), _mm_unpackhi_epi16(rg, b0));
}

}  // namespace

void dv_mb420_b_rgb(dv_macroblock_t *mb, uint8_t **pixels, int) {
  ChromaPlanes planes;
  fill_chroma_planes(mb, planes);
  // Interlaced 4:2:0: chroma row u serves luminance rows r and r + 2 with
  // r = 4 (u / 2) + u % 2, so even rows take even chroma rows, odd rows odd.
  for (int u = 0; u < 8; ++u) {
    const int first_row = 4 * (u >> 1) + (u & 1);
    for (int half = 0; half < 2; ++half) {  // left and right eight columns
      const int at = 8 * u + 4 * half;
      const WideTerms red = widen(planes.red + at), green = widen(planes.green + at),
                      blue = widen(planes.blue + at);
      for (int r = first_row; r <= first_row + 2; r += 2) {
        const dv_coeff_t *luma = mb->b[2 * (r >> 3) + half].coeffs + 8 * (r & 7);
        put_rgb0_x8(pixels[mb->y + r] + 4 * (mb->x + 8 * half), luma, red, green, blue);
      }
    }
  }
}

}  // namespace ozmira
