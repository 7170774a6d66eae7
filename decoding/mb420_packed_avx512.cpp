// libdv's packed RGB renderer (dv_mb420_rgb) with AVX-512: the arithmetic of
// the AVX2 build (mb420_packed_avx2.cpp) on the two pixel rows that share
// their chrominance at once, 32 pixels a step, and each row's three-byte
// pixels put together by one two-register byte permute (VBMI) instead of
// four shuffles. Each 128-bit quarter of a vector holds one luminance
// block's eight pixels of one row: row r's left and right blocks, then row
// r + 2's. Built with AVX-512 (F, BW, VBMI); called only where the processor
// has them.
#include <immintrin.h>

#include <cstddef>
#include <initializer_list>

#include "color_tables.h"
#include "conversion_sse2.h"
#include "dc_only_blocks.h"
#include "mb420_packed.h"

namespace ozmira {
namespace {

// Thirty-two int32 in two vectors: `low` holds entries 0-3 of each quarter's
// eight, `high` entries 4-7 (the order of AVX-512's unpacking).
struct Int32x32 {
  __m512i low, high;
};

inline __m512i clamp16(__m512i v, short low, short high) {
  return _mm512_min_epi16(_mm512_max_epi16(v, _mm512_set1_epi16(low)), _mm512_set1_epi16(high));
}

// libdv_scaled_luma_x8 on 32 samples.
inline Int32x32 libdv_scaled_luma_x32(__m512i samples) {
  constexpr short kLow = -256, kHigh = 511, kRounding = 4167;
  constexpr short kReciprocal250 = static_cast<short>(33555);
  const __m512i y = clamp16(samples, kLow, kHigh);
  const __m512i scaled = _mm512_add_epi16(_mm512_slli_epi16(y, 4), _mm512_set1_epi16(kRounding));
  const __m512i t = _mm512_srli_epi16(_mm512_mulhi_epu16(scaled, _mm512_set1_epi16(kReciprocal250)), 7);
  const __m512i weights = _mm512_set1_epi32(static_cast<int>(0xffff0000u | 1192u));
  return {_mm512_madd_epi16(_mm512_unpacklo_epi16(y, t), weights),
          _mm512_madd_epi16(_mm512_unpackhi_epi16(y, t), weights)};
}

// chroma_offset_x8 on 32 samples, clamped to libdv's range first.
inline Int32x32 chroma_offset_x32(__m512i samples, const ChromaFactor &f) {
  constexpr int kScaleBits = 7;
  const __m512i c = clamp16(samples, kLibdvChromaLow, kLibdvChromaHigh);
  const __m512i scaled = _mm512_add_epi16(_mm512_slli_epi16(c, kScaleBits), _mm512_set1_epi16(f.rounding));
  const __m512i fraction =
      _mm512_srai_epi16(_mm512_mulhi_epi16(scaled, _mm512_set1_epi16(f.multiplier)), kScaleBits);
  const __m512i weights = _mm512_set1_epi32(static_cast<unsigned short>(f.whole) | (1 << 16));
  return {_mm512_madd_epi16(_mm512_unpacklo_epi16(c, fraction), weights),
          _mm512_madd_epi16(_mm512_unpackhi_epi16(c, fraction), weights)};
}

// Stores 32 entries in their own order.
inline void store32(int32_t *out, const Int32x32 &v) {
  const __m512i first = _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0);
  const __m512i second = _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4);
  _mm512_storeu_si512(out, _mm512_permutex2var_epi64(v.low, first, v.high));
  _mm512_storeu_si512(out + 16, _mm512_permutex2var_epi64(v.low, second, v.high));
}

// (luma + terms) >> 10 for 32 pixels, as 32 int16 in the quarters' order.
inline __m512i component_x32(const Int32x32 &luma, __m512i terms_low, __m512i terms_high) {
  return _mm512_packs_epi32(_mm512_srai_epi32(_mm512_add_epi32(luma.low, terms_low), kColorFractionBits),
                            _mm512_srai_epi32(_mm512_add_epi32(luma.high, terms_high), kColorFractionBits));
}

struct alignas(64) BiasedChromaPlanes {
  int32_t red[64], green[64], blue[64];
};

// The byte permute of each row: from R0-R7 B0-B7 of every quarter (bytes
// 0-63) and G0-G7 twice (64-127), that row's 48 bytes R G B.
struct RowIndices {
  alignas(64) uint8_t bytes[2][64];
};
constexpr RowIndices kRowIndices = [] {
  RowIndices t{};
  constexpr int kRowBytes = 48, kGreen = 64, kBlue = 8;
  for (int row = 0; row < 2; ++row)
    for (int j = 0; j < kRowBytes; ++j) {
      const int pixel = j / 3, quarter = 2 * row + pixel / 8, at = 16 * quarter + pixel % 8;
      t.bytes[row][j] = static_cast<uint8_t>(j % 3 == 0 ? at : j % 3 == 1 ? kGreen + at : at + kBlue);
    }
  return t;
}();
constexpr __mmask64 kRowBytesMask = (__mmask64{1} << 48) - 1;

// Rows r and r + 2 of an 8-row luminance block pair, in the quarters' order.
inline __m512i luma_rows(const dv_macroblock_t *mb, int r) {
  const dv_coeff_t *left = mb->b[2 * (r >> 3)].coeffs + 8 * (r & 7);
  const dv_coeff_t *right = mb->b[2 * (r >> 3) + 1].coeffs + 8 * (r & 7);
  constexpr __mmask8 kRowsR2 = 0x33;  // rows r and r + 2 of the four from r
  return _mm512_permutex2var_epi64(_mm512_maskz_loadu_epi64(kRowsR2, left),
                                   _mm512_set_epi64(13, 12, 5, 4, 9, 8, 1, 0),
                                   _mm512_maskz_loadu_epi64(kRowsR2, right));
}

// The three chroma planes of the macroblock, each entry with the luminance
// bias added.
void chroma_planes(const dv_macroblock_t *mb, BiasedChromaPlanes &planes) {
  const __m512i bias = _mm512_set1_epi32(kLibdvLumaBias);
  for (int at = 0; at < 64; at += 32) {
    const __m512i cr = _mm512_loadu_si512(mb->b[4].coeffs + at);
    const __m512i cb = _mm512_loadu_si512(mb->b[5].coeffs + at);
    const Int32x32 red = chroma_offset_x32(cr, kRedOfCr);
    const Int32x32 blue = chroma_offset_x32(cb, kBlueOfCb);
    const Int32x32 green_cr = chroma_offset_x32(cr, kGreenOfCr);
    const Int32x32 green_cb = chroma_offset_x32(cb, kGreenOfCb);
    store32(planes.red + at, {_mm512_add_epi32(red.low, bias), _mm512_add_epi32(red.high, bias)});
    store32(planes.green + at, {_mm512_sub_epi32(bias, _mm512_add_epi32(green_cr.low, green_cb.low)),
                                _mm512_sub_epi32(bias, _mm512_add_epi32(green_cr.high, green_cb.high))});
    store32(planes.blue + at, {_mm512_add_epi32(blue.low, bias), _mm512_add_epi32(blue.high, bias)});
  }
}

// Two pixel rows' colours: R and B bytes of each quarter (bytes 0-63), G
// bytes twice (64-127), for a RowIndices permute to take a row from.
struct RowPairColours {
  __m512i red_blue, green_twice;
};

// The colours of pixel rows whose luminance `luma` holds in the quarters'
// order, with the chroma terms of `red`, `green`, `blue` (each 8 entries of
// the row's chroma row in the low half, 8 in the high half).
inline RowPairColours colours(__m512i luma_samples, __m512i red, __m512i green, __m512i blue) {
  const Int32x32 luma = libdv_scaled_luma_x32(luma_samples);
  const __m512i red_blue = _mm512_packus_epi16(
      component_x32(luma, _mm512_unpacklo_epi32(red, red), _mm512_unpackhi_epi32(red, red)),
      component_x32(luma, _mm512_unpacklo_epi32(blue, blue), _mm512_unpackhi_epi32(blue, blue)));
  const __m512i g =
      component_x32(luma, _mm512_unpacklo_epi32(green, green), _mm512_unpackhi_epi32(green, green));
  return {red_blue, _mm512_packus_epi16(g, g)};
}

// Chroma row u's 8 entries of a 64-entry plane in the low half, row v's in
// the high half.
inline __m512i plane_rows(const int32_t *plane, int u, int v) {
  return _mm512_inserti64x4(
      _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(plane + 8 * u))),
      _mm256_loadu_si256(reinterpret_cast<const __m256i *>(plane + 8 * v)), 1);
}

// Pixel row r's 16 luminance samples.
inline __m256i luma_row(const dv_macroblock_t *mb, int r) {
  const dv_coeff_t *left = mb->b[2 * (r >> 3)].coeffs + 8 * (r & 7);
  const dv_coeff_t *right = mb->b[2 * (r >> 3) + 1].coeffs + 8 * (r & 7);
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(left))),
      _mm_loadu_si128(reinterpret_cast<const __m128i *>(right)), 1);
}

inline int chroma_row_of(int r) { return 2 * (r >> 2) + (r & 1); }

// Draws the macroblock.
void render_rgb(dv_macroblock_t *mb, uint8_t **pixels, int *pitches) {
  BiasedChromaPlanes planes;
  chroma_planes(mb, planes);
  const __m512i first_row = _mm512_load_si512(kRowIndices.bytes[0]);
  const __m512i second_row = _mm512_load_si512(kRowIndices.bytes[1]);
  const ptrdiff_t pitch = pitches[0];
  uint8_t *const top_left =
      pixels[0] + static_cast<ptrdiff_t>(mb->y) * pitch + static_cast<ptrdiff_t>(mb->x) * 3;
  for (int u = 0; u < 8; ++u) {
    const int r = 4 * (u >> 1) + (u & 1);  // interlaced: rows r and r + 2
    uint8_t *out = top_left + r * pitch;
    const auto twice = [u](const int32_t *plane) {
      return _mm512_broadcast_i64x4(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(plane + 8 * u)));
    };
    const RowPairColours c =
        colours(luma_rows(mb, r), twice(planes.red), twice(planes.green), twice(planes.blue));
    _mm512_mask_storeu_epi8(out, kRowBytesMask,
                            _mm512_permutex2var_epi8(c.red_blue, first_row, c.green_twice));
    _mm512_mask_storeu_epi8(out + 2 * pitch, kRowBytesMask,
                            _mm512_permutex2var_epi8(c.red_blue, second_row, c.green_twice));
  }
}

// Draws only the rows the plan draws, any two at a time (rows that share no
// chrominance as well), then writes every row from the colours of the row it
// repeats: a block decoded from its DC alone repeats its rows, so a
// macroblock mostly has four to eight rows of its own among sixteen.
void render_rgb_by_plan(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const DcOnlyRowPlan &plan) {
  BiasedChromaPlanes planes;
  chroma_planes(mb, planes);
  const __m128i sources = _mm_loadu_si128(reinterpret_cast<const __m128i *>(plan.source));
  const __m128i rows = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  unsigned drawn = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(sources, rows)));
  RowPairColours pairs[8];
  uint8_t slot[16];  // of each drawn row: its pair, twice, plus which of the two
  for (int n = 0; drawn != 0; ++n) {
    const int r = __builtin_ctz(drawn);
    drawn &= drawn - 1;
    const int s = drawn != 0 ? __builtin_ctz(drawn) : r;
    drawn &= drawn - 1;
    const int u = chroma_row_of(r), v = chroma_row_of(s);
    const __m512i luma = _mm512_inserti64x4(_mm512_castsi256_si512(luma_row(mb, r)), luma_row(mb, s), 1);
    pairs[n] = colours(luma, plane_rows(planes.red, u, v), plane_rows(planes.green, u, v),
                       plane_rows(planes.blue, u, v));
    slot[r] = static_cast<uint8_t>(2 * n);
    slot[s] = static_cast<uint8_t>(2 * n + (s != r));
  }
  const ptrdiff_t pitch = pitches[0];
  uint8_t *out = pixels[0] + static_cast<ptrdiff_t>(mb->y) * pitch + static_cast<ptrdiff_t>(mb->x) * 3;
  for (int r = 0; r < 16; ++r, out += pitch) {
    const int at = slot[plan.source[r]];
    const __m512i indices = _mm512_load_si512(kRowIndices.bytes[at & 1]);
    _mm512_mask_storeu_epi8(
        out, kRowBytesMask,
        _mm512_permutex2var_epi8(pairs[at >> 1].red_blue, indices, pairs[at >> 1].green_twice));
  }
}

}  // namespace

void Mb420PackedRgbAvx512(dv_macroblock_t *mb, uint8_t **pixels, int *pitches) {
  render_rgb(mb, pixels, pitches);
}
void Mb420PackedRgbDcOnlyAvx512(dv_macroblock_t *mb, uint8_t **pixels, int *pitches,
                                const DcOnlyRowPlan *plan) {
  if (plan == nullptr) return render_rgb(mb, pixels, pitches);
  render_rgb_by_plan(mb, pixels, pitches, *plan);
}

}  // namespace ozmira
