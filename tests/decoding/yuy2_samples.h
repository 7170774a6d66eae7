// Reads decoded samples back out of a 720-pixel-wide 4:2:0 YUY2 image (pixel
// pairs Y0 Cb Y1 Cr). Every sample appears there as its value plus 128,
// saturated to a byte: beyond the range where the colour formulas saturate.
#pragma once

#include <cstdint>
#include <span>

#include "row_image.h"

namespace ozmira::test {

// The samples of the macroblock whose top-left luminance pixel is (x, y).
class Yuy2Macroblock {
 public:
  Yuy2Macroblock(std::span<const uint8_t> yuy2, int x, int y) : yuy2_(yuy2), x_(x), y_(y) {}

  int lum(int r, int c) const { return sample(y_ + r, x_ + c, 0); }
  int cb(int u, int v) const { return sample(chroma_row(u), x_ + 2 * v, 1); }
  int cr(int u, int v) const { return sample(chroma_row(u), x_ + 2 * v, 3); }

  // libdv's 4:2:0 YUY2 renderer writes chroma row u of a macroblock beside
  // luminance rows 4 (u / 2) + u % 2 and the one two rows below.
  int chroma_row(int u) const { return y_ + 4 * (u / 2) + u % 2; }

 private:
  // `component` 0 is the pixel's own Y; 1 and 3 are the Cb and Cr of its pair.
  int sample(int row, int column, int component) const {
    const int first = component == 0 ? column : column & ~1;
    return yuy2_[2 * (static_cast<size_t>(row) * kPalWidth + first) + component] - 128;
  }

  std::span<const uint8_t> yuy2_;
  int x_, y_;
};

}  // namespace ozmira::test
