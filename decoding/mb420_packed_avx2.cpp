// libdv's packed RGB renderer (dv_mb420_rgb) with AVX2, a whole row of
// sixteen pixels per step: the same arithmetic as the SSE2 build
// (mb420_packed.cpp, conversion_sse2.h) on twice the lanes, and the
// three-byte pixels put together by byte shuffles instead of masks and
// shifts. AVX2 works within 128-bit halves, so each half holds one luminance
// block's eight pixels and the chrominance terms are laid out to match.
// Built with -mavx2; called only where the processor has it.
//
// Only constants and types come from the SSE2 headers: an inline function
// compiled here would carry AVX2 code that the linker might keep for every
// caller.
#include <immintrin.h>

#include <cstddef>

#include "color_tables.h"
#include "conversion_avx2.h"
#include "conversion_sse2.h"
#include "dc_only_blocks.h"
#include "mb420_packed.h"

namespace ozmira {
namespace {

// libdv_scaled_luma_x8 on sixteen samples.
inline Int32x16 libdv_scaled_luma_x16(__m256i samples) {
  constexpr short kLow = -256, kHigh = 511, kRounding = 4167;
  constexpr short kReciprocal250 = static_cast<short>(33555);
  const __m256i y = clamp16(samples, kLow, kHigh);
  const __m256i scaled = _mm256_add_epi16(_mm256_slli_epi16(y, 4), _mm256_set1_epi16(kRounding));
  const __m256i t = _mm256_srli_epi16(_mm256_mulhi_epu16(scaled, _mm256_set1_epi16(kReciprocal250)), 7);
  const __m256i weights = _mm256_set1_epi32(static_cast<int>(0xffff0000u | 1192u));
  return {_mm256_madd_epi16(_mm256_unpacklo_epi16(y, t), weights),
          _mm256_madd_epi16(_mm256_unpackhi_epi16(y, t), weights)};
}

inline __m128i load8(const dv_coeff_t *samples) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples));
}

// (luma + terms) >> 10 for sixteen pixels, as sixteen int16 in order.
inline __m256i component_x16(const Int32x16 &luma, __m256i terms_low, __m256i terms_high) {
  return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(luma.low, terms_low), kColorFractionBits),
                            _mm256_srai_epi32(_mm256_add_epi32(luma.high, terms_high), kColorFractionBits));
}

// Each component's offset, libdv's luminance bias included, for the
// macroblock's 64 chrominance pairs, row-major.
struct alignas(32) BiasedChromaPlanes {
  int32_t red[64], green[64], blue[64];
};

// Byte shuffles of one 128-bit half: from R0-R7 B0-B7 and G0-G7 G0-G7 (the
// packs of one luminance block's eight pixels), the 24 bytes R G B of those
// pixels, the first 16 in one vector and the last 8 in the low half of
// another. -1 gives a zero byte, to be filled from the other shuffle.
inline __m256i lanes(const signed char (&bytes)[16]) {
  const __m128i half = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes));
  return _mm256_broadcastsi128_si256(half);
}
alignas(16) constexpr signed char kRedBlueHead[16] = {0, -1, 8, 1, -1, 9, 2, -1, 10, 3, -1, 11, 4, -1, 12, 5};
alignas(16) constexpr signed char kGreenHead[16] = {-1, 0,  -1, -1, 1,  -1, -1, 2,
                                                    -1, -1, 3,  -1, -1, 4,  -1, -1};
alignas(16) constexpr signed char kRedBlueTail[16] = {-1, 13, 6,  -1, 14, 7,  -1, 15,
                                                      -1, -1, -1, -1, -1, -1, -1, -1};
alignas(16) constexpr signed char kGreenTail[16] = {5,  -1, -1, 6,  -1, -1, 7,  -1,
                                                    -1, -1, -1, -1, -1, -1, -1, -1};

// Draws the macroblock, or with a plan copies the rows it names instead.
void render_rgb(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const DcOnlyRowPlan *plan) {
  BiasedChromaPlanes planes;
  const __m256i bias = _mm256_set1_epi32(kLibdvLumaBias);
  for (int at = 0; at < 64; at += 16) {
    const __m256i cr = load16(mb->b[4].coeffs + at);
    const __m256i cb = load16(mb->b[5].coeffs + at);
    const Int32x16 red = chroma_offset_x16(cr, kRedOfCr, kLibdvChromaLow, kLibdvChromaHigh);
    const Int32x16 blue = chroma_offset_x16(cb, kBlueOfCb, kLibdvChromaLow, kLibdvChromaHigh);
    const Int32x16 green_cr = chroma_offset_x16(cr, kGreenOfCr, kLibdvChromaLow, kLibdvChromaHigh);
    const Int32x16 green_cb = chroma_offset_x16(cb, kGreenOfCb, kLibdvChromaLow, kLibdvChromaHigh);
    store16(planes.red + at, {_mm256_add_epi32(red.low, bias), _mm256_add_epi32(red.high, bias)});
    store16(planes.green + at, {_mm256_sub_epi32(bias, _mm256_add_epi32(green_cr.low, green_cb.low)),
                                _mm256_sub_epi32(bias, _mm256_add_epi32(green_cr.high, green_cb.high))});
    store16(planes.blue + at, {_mm256_add_epi32(blue.low, bias), _mm256_add_epi32(blue.high, bias)});
  }
  const __m256i red_blue_head = lanes(kRedBlueHead), green_head = lanes(kGreenHead);
  const __m256i red_blue_tail = lanes(kRedBlueTail), green_tail = lanes(kGreenTail);
  const ptrdiff_t pitch = pitches[0];
  uint8_t *const top_left =
      pixels[0] + static_cast<ptrdiff_t>(mb->y) * pitch + static_cast<ptrdiff_t>(mb->x) * 3;
  for (int u = 0; u < 8; ++u) {
    const int first_row = 4 * (u >> 1) + (u & 1);  // interlaced: rows first_row and first_row + 2
    __m256i red_low, red_high, green_low, green_high, blue_low, blue_high;
    doubled_terms(planes.red, u, red_low, red_high);
    doubled_terms(planes.green, u, green_low, green_high);
    doubled_terms(planes.blue, u, blue_low, blue_high);
    for (int r = first_row; r <= first_row + 2; r += 2) {
      uint8_t *out = top_left + r * pitch;
      if (plan != nullptr && plan->source[r] != r) {
        const uint8_t *from = top_left + plan->source[r] * pitch;
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 32),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 32)));
        continue;
      }
      const dv_coeff_t *left = mb->b[2 * (r >> 3)].coeffs + 8 * (r & 7);
      const dv_coeff_t *right = mb->b[2 * (r >> 3) + 1].coeffs + 8 * (r & 7);
      const Int32x16 luma = libdv_scaled_luma_x16(_mm256_set_m128i(load8(right), load8(left)));
      const __m256i red_blue = _mm256_packus_epi16(component_x16(luma, red_low, red_high),
                                                   component_x16(luma, blue_low, blue_high));
      const __m256i green = component_x16(luma, green_low, green_high);
      const __m256i green_twice = _mm256_packus_epi16(green, green);
      const __m256i head = _mm256_or_si256(_mm256_shuffle_epi8(red_blue, red_blue_head),
                                           _mm256_shuffle_epi8(green_twice, green_head));
      const __m256i tail = _mm256_or_si256(_mm256_shuffle_epi8(red_blue, red_blue_tail),
                                           _mm256_shuffle_epi8(green_twice, green_tail));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(head));
      _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 16), _mm256_castsi256_si128(tail));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 24), _mm256_extracti128_si256(head, 1));
      _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 40), _mm256_extracti128_si256(tail, 1));
    }
  }
}

}  // namespace

void Mb420PackedRgbAvx2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches) {
  render_rgb(mb, pixels, pitches, nullptr);
}
void Mb420PackedRgbDcOnlyAvx2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches,
                              const DcOnlyRowPlan *plan) {
  render_rgb(mb, pixels, pitches, plan);
}

}  // namespace ozmira
