// The extended formats worked out from first principles, as the oracle the
// decoder's tables and renderers are checked against: BT.601 studio range to
// full range with the coefficients times 1024, each product rounded on its own
// in double precision, and the pixel layout of each format written plainly.
#pragma once

#include <algorithm>
#include <cmath>

#include "row_image.h"

namespace ozmira::test {

// Samples are component values minus 128. Out-of-range inputs saturate: the
// coefficients only ever see luminance -112..107 and chrominance -112..112.
inline int ref_scaled_luma(int y) {
  return static_cast<int>(std::rint((std::clamp(y, -112, 107) + 112) * 1191.936));
}
inline int ref_chroma_term(int c, double factor) {
  return static_cast<int>(std::rint(std::clamp(c, -112, 112) * factor));
}
inline int ref_component(int sum) { return std::clamp(sum >> 10, 0, 255); }

inline int ref_luma(int y) { return ref_scaled_luma(y) >> 10; }
inline int ref_red(int y, int cr) { return ref_component(ref_scaled_luma(y) + ref_chroma_term(cr, 1634.304)); }
inline int ref_green(int y, int cr, int cb) {
  return ref_component(ref_scaled_luma(y) - ref_chroma_term(cr, 832.512) - ref_chroma_term(cb, 400.384));
}
inline int ref_blue(int y, int cb) { return ref_component(ref_scaled_luma(y) + ref_chroma_term(cb, 2066.432)); }

inline void ref_put_rgb0(RowImage &image, int row, int column, int y, int cr, int cb) {
  image.put_rgb0(row, column, ref_red(y, cr), ref_green(y, cr, cb), ref_blue(y, cb));
}

// Draws the macroblock whose top-left luminance sample is at (x, y) in
// `format` (3 to 8 or 11). `mb` gives lum(r, c) for r, c in 0..15 and cr(u, v),
// cb(u, v) for u, v in 0..7.
template <typename Samples>
void draw_reference(int format, const Samples &mb, int x, int y, RowImage &image) {
  switch (format) {
    case 3:  // red as int32; rows 2k and 2k+1 share chroma row k
      for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) image.put_int(y + r, x + c, ref_red(mb.lum(r, c), mb.cr(r / 2, c / 2)));
      break;
    case 4:
      for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) image.put_byte(y + r, x + c, ref_luma(mb.lum(r, c)));
      break;
    case 5:  // interlaced: rows 0 and 2 take chroma row 0, rows 1 and 3 row 1, ...
      for (int r = 0; r < 16; ++r) {
        const int u = 2 * (r / 4) + r % 2;
        for (int c = 0; c < 16; ++c) {
          ref_put_rgb0(image, y + r, x + c, mb.lum(r, c), mb.cr(u, c / 2), mb.cb(u, c / 2));
        }
      }
      break;
    case 6: case 7: case 8:  // 4 x 2 thumbnail from the top-left samples
      for (int p = 0; p < 2; ++p) {
        for (int q = 0; q < 4; ++q) {
          const int row = y / 8 + p, column = x / 8 + q;
          if (format == 6) image.put_int(row, column, ref_red(mb.lum(p, q), mb.cr(0, q)));
          if (format == 7) image.put_byte(row, column, ref_red(mb.lum(p, q), mb.cr(0, q)));
          if (format == 8) ref_put_rgb0(image, row, column, mb.lum(p, q), mb.cr(0, q), mb.cb(0, q));
        }
      }
      break;
    case 11:  // half size: even luminance rows and columns, one chroma pair per pixel
      for (int p = 0; p < 8; ++p)
        for (int q = 0; q < 8; ++q) {
          ref_put_rgb0(image, y / 2 + p, x / 2 + q, mb.lum(2 * p, 2 * q), mb.cr(p, q), mb.cb(p, q));
        }
      break;
    default:
      break;
  }
}

}  // namespace ozmira::test
