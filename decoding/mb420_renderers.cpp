// The thumbnail, half-size and non-drawing extended renderers. The full-size
// ones, which touch every pixel, are in mb420_full_size.cpp.
#include <cstring>

#include "mb420_renderers.h"
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

void Mb420RowsHrgb(dv_macroblock_t *mb, uint8_t **pixels, int) {
  const int x = mb->x / 2, y = mb->y / 2;
  for (int p = 0; p < 8; ++p) {
    uint8_t *out = pixels[y + p] + 4 * x;
    for (int q = 0; q < 8; ++q) {
      const ChromaTerms terms = chroma_terms(mb->b[4].coeffs[8 * p + q], mb->b[5].coeffs[8 * p + q]);
      put_rgb0(out + 4 * q, scaled_luma(luma_sample(mb, 2 * p, 2 * q)), terms);
    }
  }
}

// Formats that name a half- or quarter-size family but draw nothing.
void Mb420RowsHi(dv_macroblock_t *, uint8_t **, int) {}
void Mb420RowsHl(dv_macroblock_t *, uint8_t **, int) {}
void Mb420RowsQi(dv_macroblock_t *, uint8_t **, int) {}
void Mb420RowsQl(dv_macroblock_t *, uint8_t **, int) {}
void Mb420RowsQrgb(dv_macroblock_t *, uint8_t **, int) {}

}  // namespace ozmira
