// libdv's packed 4:2:0 renderers (rgb.c, YUY2.c), sixteen pixels per step.
// The table entries they look up are computed exactly (conversion_sse2.h);
// libdv's final clamp table is a signed then an unsigned saturating pack.
#include "mb420_packed.h"

#include <cstddef>

#include "dc_only_blocks.h"
#include "mb420_sse2.h"

namespace ozmira {
namespace {

constexpr int kPixelsPerRow = 16;
constexpr int kYuy2Bytes = 2, kRgbBytes = 3, kBgr0Bytes = 4;  // per pixel

uint8_t *top_left(const dv_macroblock_t *mb, uint8_t **pixels, int *pitches, int bytes_per_pixel) {
  return pixels[0] + static_cast<ptrdiff_t>(mb->y) * pitches[0] +
         static_cast<ptrdiff_t>(mb->x) * bytes_per_pixel;
}

// libdv's chroma offsets of chroma row u, with the luminance bias added
// (libdv_scaled_luma_x8 leaves it out), for the two halves of a pixel row.
struct RowTerms {
  WideTerms red[2], green[2], blue[2];
};

inline RowTerms chroma_row_terms(const dv_macroblock_t *mb, int u) {
  const __m128i bias = _mm_set1_epi32(kLibdvLumaBias);
  const __m128i cr = load8(mb->b[4].coeffs + 8 * u), cb = load8(mb->b[5].coeffs + 8 * u);
  const Int32x8 red = libdv_chroma_offset_x8(cr, kRedOfCr), blue = libdv_chroma_offset_x8(cb, kBlueOfCb);
  const Int32x8 green_cr = libdv_chroma_offset_x8(cr, kGreenOfCr),
                green_cb = libdv_chroma_offset_x8(cb, kGreenOfCb);
  return {{widen(_mm_add_epi32(red.low, bias)), widen(_mm_add_epi32(red.high, bias))},
          {widen(_mm_sub_epi32(bias, _mm_add_epi32(green_cr.low, green_cb.low))),
           widen(_mm_sub_epi32(bias, _mm_add_epi32(green_cr.high, green_cb.high)))},
          {widen(_mm_add_epi32(blue.low, bias)), widen(_mm_add_epi32(blue.high, bias))}};
}

// The red, green and blue bytes of the sixteen pixels of one row.
struct RowColours {
  __m128i red, green, blue;
};

// Calls emit(pixels of the row, colours) for each of the macroblock's sixteen
// rows, whose pixels take row_bytes at out + row x pitch, or, where `plan`
// says a row repeats one drawn before, copies that row.
template <typename Emit>
void for_each_colour_row(const dv_macroblock_t *mb, const DcOnlyRowPlan *plan, uint8_t *out, ptrdiff_t pitch,
                         int row_bytes, Emit emit) {
  // The offsets of the last chroma rows drawn, one for each of the (at most
  // three) different rows of each parity that DC-only blocks hold.
  constexpr int kKept = 4;
  RowTerms kept[kKept];
  int kept_for[kKept] = {-1, -1, -1, -1};  // the plan's chroma value, or the chroma row
  int next_kept = 0;
  for (int u = 0; u < 8; ++u) {
    for (int r = first_luma_row(u); r <= first_luma_row(u) + 2; r += 2) {
      if (plan != nullptr && plan->source[r] != r) {
        const uint8_t *from = out + plan->source[r] * pitch;
        for (int at = 0; at < row_bytes; at += 16) {
          store16(out + r * pitch + at, _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at)));
        }
        continue;
      }
      const int chroma = plan != nullptr ? plan->chroma[r] : u;
      int k = 0;
      while (k < kKept && kept_for[k] != chroma) ++k;
      if (k == kKept) {
        k = next_kept;
        next_kept = (next_kept + 1) % kKept;
        kept[k] = chroma_row_terms(mb, u);
        kept_for[k] = chroma;
      }
      const RowTerms &terms = kept[k];
      const Int32x8 luma[2] = {libdv_scaled_luma_x8(load8(luma_row(mb, r, 0))),
                               libdv_scaled_luma_x8(load8(luma_row(mb, r, 1)))};
      emit(out + r * pitch,
           RowColours{
               _mm_packus_epi16(component_x8(luma[0], terms.red[0]), component_x8(luma[1], terms.red[1])),
               _mm_packus_epi16(component_x8(luma[0], terms.green[0]), component_x8(luma[1], terms.green[1])),
               _mm_packus_epi16(component_x8(luma[0], terms.blue[0]), component_x8(luma[1], terms.blue[1]))});
    }
  }
}

// Four four-byte pixels (the low three bytes of each kept) as twelve bytes.
inline __m128i drop_fourth_bytes(__m128i pixels) {
  const __m128i first = _mm_set1_epi64x(0x0000000000ffffff), second = _mm_set1_epi64x(0x0000ffffff000000);
  // Two pixels per 64-bit lane: six bytes at the bottom of each lane.
  const __m128i lanes =
      _mm_or_si128(_mm_and_si128(pixels, first), _mm_and_si128(_mm_srli_epi64(pixels, 8), second));
  return _mm_or_si128(_mm_move_epi64(lanes), _mm_slli_si128(_mm_srli_si128(lanes, 8), 6));
}

// Sixteen pixels of three bytes, in the order of the arguments, as 48 bytes.
inline void store_three_byte_pixels(uint8_t *out, __m128i first, __m128i second, __m128i third) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i pairs_low = _mm_unpacklo_epi8(first, second), pairs_high = _mm_unpackhi_epi8(first, second);
  const __m128i thirds_low = _mm_unpacklo_epi8(third, zero), thirds_high = _mm_unpackhi_epi8(third, zero);
  const __m128i p0 = drop_fourth_bytes(_mm_unpacklo_epi16(pairs_low, thirds_low));
  const __m128i p1 = drop_fourth_bytes(_mm_unpackhi_epi16(pairs_low, thirds_low));
  const __m128i p2 = drop_fourth_bytes(_mm_unpacklo_epi16(pairs_high, thirds_high));
  const __m128i p3 = drop_fourth_bytes(_mm_unpackhi_epi16(pairs_high, thirds_high));
  store16(out, _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
  store16(out + 16, _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
  store16(out + 32, _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
}

// Eight samples as libdv's YUY2 look-up gives them: clamped, plus 128.
inline __m128i offset_bytes(__m128i low, __m128i high) {
  return _mm_xor_si128(_mm_packs_epi16(low, high), _mm_set1_epi8(static_cast<char>(0x80)));
}

void render_rgb(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const DcOnlyRowPlan *plan) {
  for_each_colour_row(
      mb, plan, top_left(mb, pixels, pitches, kRgbBytes), pitches[0], kPixelsPerRow * kRgbBytes,
      [](uint8_t *row, const RowColours &c) { store_three_byte_pixels(row, c.red, c.green, c.blue); });
}

void render_bgr0(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const DcOnlyRowPlan *plan) {
  for_each_colour_row(mb, plan, top_left(mb, pixels, pitches, kBgr0Bytes), pitches[0],
                      kPixelsPerRow * kBgr0Bytes, [](uint8_t *row, const RowColours &c) {
                        const __m128i zero = _mm_setzero_si128();
                        const __m128i bg_low = _mm_unpacklo_epi8(c.blue, c.green);
                        const __m128i bg_high = _mm_unpackhi_epi8(c.blue, c.green);
                        const __m128i r0_low = _mm_unpacklo_epi8(c.red, zero);
                        const __m128i r0_high = _mm_unpackhi_epi8(c.red, zero);
                        store16(row, _mm_unpacklo_epi16(bg_low, r0_low));
                        store16(row + 16, _mm_unpackhi_epi16(bg_low, r0_low));
                        store16(row + 32, _mm_unpacklo_epi16(bg_high, r0_high));
                        store16(row + 48, _mm_unpackhi_epi16(bg_high, r0_high));
                      });
}

// The fastest build the processor has. libgcc reads the processor's features
// before any call can come.
enum class Build { kSse2, kAvx2, kAvx512 };
Build fastest_build() {
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vbmi"))
    return Build::kAvx512;
  return __builtin_cpu_supports("avx2") ? Build::kAvx2 : Build::kSse2;
}

}  // namespace

void Mb420PackedRgb(dv_macroblock_t *mb, uint8_t **pixels, int *pitches) {
  switch (fastest_build()) {
    case Build::kAvx512: return Mb420PackedRgbAvx512(mb, pixels, pitches);
    case Build::kAvx2: return Mb420PackedRgbAvx2(mb, pixels, pitches);
    case Build::kSse2: return Mb420PackedRgbSse2(mb, pixels, pitches);
  }
}
void Mb420PackedRgbSse2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches) {
  render_rgb(mb, pixels, pitches, nullptr);
}
void Mb420PackedBgr0(dv_macroblock_t *mb, uint8_t **pixels, int *pitches) {
  render_bgr0(mb, pixels, pitches, nullptr);
}
void Mb420PackedRgbDcOnly(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const DcOnlyRowPlan *plan) {
  switch (fastest_build()) {
    case Build::kAvx512: return Mb420PackedRgbDcOnlyAvx512(mb, pixels, pitches, plan);
    case Build::kAvx2: return Mb420PackedRgbDcOnlyAvx2(mb, pixels, pitches, plan);
    case Build::kSse2: return Mb420PackedRgbDcOnlySse2(mb, pixels, pitches, plan);
  }
}
void Mb420PackedRgbDcOnlySse2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches,
                              const DcOnlyRowPlan *plan) {
  render_rgb(mb, pixels, pitches, plan);
}
void Mb420PackedBgr0DcOnly(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const DcOnlyRowPlan *plan) {
  render_bgr0(mb, pixels, pitches, plan);
}

void Mb420PackedYuy2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches) {
  uint8_t *out = top_left(mb, pixels, pitches, kYuy2Bytes);
  const ptrdiff_t pitch = pitches[0];
  for (int u = 0; u < 8; ++u) {
    const __m128i cb = offset_bytes(load8(mb->b[5].coeffs + 8 * u), _mm_setzero_si128());
    const __m128i cr = offset_bytes(load8(mb->b[4].coeffs + 8 * u), _mm_setzero_si128());
    const __m128i chroma = _mm_unpacklo_epi8(cb, cr);  // Cb Cr per pixel pair
    for (int r = first_luma_row(u); r <= first_luma_row(u) + 2; r += 2) {
      const __m128i luma = offset_bytes(load8(luma_row(mb, r, 0)), load8(luma_row(mb, r, 1)));
      uint8_t *row = out + r * pitch;
      store16(row, _mm_unpacklo_epi8(luma, chroma));
      store16(row + 16, _mm_unpackhi_epi8(luma, chroma));
    }
  }
}

}  // namespace ozmira
