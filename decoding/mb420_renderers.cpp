// The thumbnail, half-size and non-drawing extended renderers. The full-size
// ones, which touch every pixel, are in mb420_full_size.cpp; the half-size
// one shares their SSE2 arithmetic (conversion_sse2.h).
#include <cstring>

#include "mb420_renderers.h"
#include "mb420_sse2.h"
#include "sample_conversion.h"

namespace ozmira {
namespace {

constexpr int kThumbColumns = 4, kThumbRows = 2;

void put_int(uint8_t *row, int column, int32_t value) { std::memcpy(row + 4 * column, &value, sizeof value); }

// Calls put(column, row, luma sample, red term) for every pixel of the 4 x 2
// thumbnail patch: the top-left luminance samples of block 0 with the first
// four Cr samples, one Cr sample per patch column.
template <typename Put>
void for_each_thumbnail_pixel(const dv_macroblock_t *mb, Put put) {
  const dv_coeff_t *cr = mb->b[4].coeffs;
  for (int q = 0; q < kThumbColumns; ++q) {
    const int32_t red_term = cr_red[chroma_index(cr[q])];
    for (int p = 0; p < kThumbRows; ++p) put(q, p, mb->b[0].coeffs[8 * p + q], red_term);
  }
}

}  // namespace

void Mb420RowsTi(dv_macroblock_t *mb, uint8_t **pixels, int) {
  const int x = mb->x / 8, y = mb->y / 8;
  for_each_thumbnail_pixel(mb, [&](int q, int p, dv_coeff_t luma, int32_t red_term) {
    put_int(pixels[y + p], x + q, component(scaled_luma(luma), red_term));
  });
}

void Mb420RowsTl(dv_macroblock_t *mb, uint8_t **pixels, int) {
  const int x = mb->x / 8, y = mb->y / 8;
  for_each_thumbnail_pixel(mb, [&](int q, int p, dv_coeff_t luma, int32_t red_term) {
    pixels[y + p][x + q] = component(scaled_luma(luma), red_term);
  });
}

void Mb420RowsTrgb(dv_macroblock_t *mb, uint8_t **pixels, int) {
  const int x = mb->x / 8, y = mb->y / 8;
  for (int q = 0; q < kThumbColumns; ++q) {
    const ChromaTerms terms = chroma_terms(mb->b[4].coeffs[q], mb->b[5].coeffs[q]);
    for (int p = 0; p < kThumbRows; ++p) {
      put_rgb0(pixels[y + p] + 4 * (x + q), scaled_luma(mb->b[0].coeffs[8 * p + q]), terms);
    }
  }
}

// Eight pixels a step: the even luminance samples of row 2p with chroma row
// p, each chrominance pair serving one pixel.
void Mb420RowsHrgb(dv_macroblock_t *mb, uint8_t **pixels, int) {
  const int x = mb->x / 2, y = mb->y / 2;
  const auto even_samples = [](const dv_coeff_t *row) {
    return _mm_srai_epi32(_mm_slli_epi32(load8(row), 16), 16);  // samples 0, 2, 4, 6 as int32
  };
  for (int p = 0; p < 8; ++p) {
    const __m128i cr = load8(mb->b[4].coeffs + 8 * p), cb = load8(mb->b[5].coeffs + 8 * p);
    const Int32x8 red = red_of_cr_x8(cr), blue = blue_of_cb_x8(cb);
    const Int32x8 green_cr = green_of_cr_x8(cr), green_cb = green_of_cb_x8(cb);
    const __m128i zero = _mm_setzero_si128();
    const WideTerms green{_mm_sub_epi32(zero, _mm_add_epi32(green_cr.low, green_cb.low)),
                          _mm_sub_epi32(zero, _mm_add_epi32(green_cr.high, green_cb.high))};
    const Int32x8 luma = scaled_luma_x8(
        _mm_packs_epi32(even_samples(luma_row(mb, 2 * p, 0)), even_samples(luma_row(mb, 2 * p, 1))));
    const __m128i red_blue =
        _mm_packus_epi16(component_x8(luma, {red.low, red.high}), component_x8(luma, {blue.low, blue.high}));
    const __m128i green_zero = _mm_packus_epi16(component_x8(luma, green), zero);
    const __m128i rg = _mm_unpacklo_epi8(red_blue, green_zero);  // R G R G ...
    const __m128i b0 = _mm_unpackhi_epi8(red_blue, green_zero);  // B 0 B 0 ...
    uint8_t *out = pixels[y + p] + 4 * x;
    store16(out, _mm_unpacklo_epi16(rg, b0));
    store16(out + 16, _mm_unpackhi_epi16(rg, b0));
  }
}

// Formats that name a half- or quarter-size family but draw nothing.
void Mb420RowsHi(dv_macroblock_t *, uint8_t **, int) {}
void Mb420RowsHl(dv_macroblock_t *, uint8_t **, int) {}
void Mb420RowsQi(dv_macroblock_t *, uint8_t **, int) {}
void Mb420RowsQl(dv_macroblock_t *, uint8_t **, int) {}
void Mb420RowsQrgb(dv_macroblock_t *, uint8_t **, int) {}

}  // namespace ozmira
