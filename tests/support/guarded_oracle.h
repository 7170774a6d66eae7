// libdv's own frame decode with the one change that the frame decoder makes
// to it on damaged data: a segment whose AC codes would lead libdv's parser
// out of its blocks (segment_guard.h) is drawn from its DC coefficients,
// which is libdv's own DC-only decode of that segment's macroblocks.
// Header-only: it needs the decoding objects, which only some suites link.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "libdv_internal.h"
#include "libdv_oracle.h"
#include "segment_guard.h"

namespace ozmira::test {

// Where segment v of DIF sequence ds starts within a frame.
inline size_t segment_offset(int ds, int v) {
  constexpr size_t kDifBlock = 80, kSequence = 150 * kDifBlock;
  return ds * kSequence + kDifBlock * (7 + 16 * (v / 3) + 5 * (v % 3));
}

// Segments of `frame` that the frame decoder draws from DC coefficients at
// `quality`, as (ds, v) pairs; the oracle must have parsed the frame.
inline std::vector<std::pair<int, int>> dc_only_segments(LibdvDecoder &oracle, const uint8_t *frame,
                                                         unsigned quality) {
  std::vector<std::pair<int, int>> found;
  for (int ds = 0; ds < oracle.get()->num_dif_seqs; ++ds)
    for (int v = 0; v < 27; ++v)
      if (!ac_parse_stays_in_bounds(frame + segment_offset(ds, v), quality)) found.emplace_back(ds, v);
  return found;
}

// Decodes into a packed image as LibdvDecoder::decode does, then replaces the
// macroblocks of every DC-only segment with libdv's DC-only decode of them.
inline void decode_as_guarded(LibdvDecoder &oracle, const uint8_t *frame, ::dv_color_space_t format,
                              unsigned quality, uint8_t *image, int pitch, int bytes_per_pixel) {
  oracle.decode(frame, format, quality, image, pitch);
  const auto segments = dc_only_segments(oracle, frame, quality);
  if (segments.empty()) return;
  dv_decoder_t *dv = oracle.get();
  std::vector<uint8_t> dc(static_cast<size_t>(pitch) * dv->height);
  oracle.decode(frame, format, quality & ~DV_QUALITY_AC_MASK, dc.data(), pitch);
  dv_videosegment_t where{};
  where.isPAL = dv->system == e_dv_system_625_50;
  for (auto [ds, v] : segments) {
    where.i = ds, where.k = v;
    for (int m = 0; m < 5; ++m) {
      dv_macroblock_t mb{};
      dv_place_macroblock(dv, &where, &mb, m);
      // 4:1:1 macroblocks are 32 x 8 but for the right-most column's 16 x 16.
      const bool wide = dv->sampling == e_dv_sample_411 && mb.x < 704;
      const int columns = wide ? 32 : 16, rows = wide ? 8 : 16;
      for (int r = 0; r < rows; ++r) {
        const size_t at = static_cast<size_t>(mb.y + r) * pitch + static_cast<size_t>(mb.x) * bytes_per_pixel;
        std::memcpy(image + at, dc.data() + at, static_cast<size_t>(columns) * bytes_per_pixel);
      }
    }
  }
}

inline std::vector<uint8_t> rgb_as_guarded(LibdvDecoder &oracle, const uint8_t *frame, unsigned quality) {
  oracle.parse(frame);
  const int pitch = oracle.width() * 3;
  std::vector<uint8_t> image(static_cast<size_t>(pitch) * oracle.height());
  decode_as_guarded(oracle, frame, ::e_dv_color_rgb, quality, image.data(), pitch, 3);
  return image;
}

}  // namespace ozmira::test
