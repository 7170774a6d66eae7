// The extended renderers on macroblocks made up here: which bytes a
// macroblock in the bottom-right corner writes, and colours at the edges of
// the sample ranges, where chrominance is clamped, not wrapped. Which chroma
// row each luminance row takes is checked on whole frames
// (extended_formats_test.cpp).
#include <gtest/gtest.h>

#include <random>

#include "color_tables.h"
#include "mb420_renderers.h"
#include "reference_render.h"
#include "row_image.h"

namespace ozmira::test {
namespace {

using Renderer = void (*)(dv_macroblock_t *, uint8_t **, int);

Renderer renderer_of(int format) {
  static const Renderer renderers[] = {dv_mb420_b_i,  dv_mb420_b_l,  dv_mb420_b_rgb,  dv_mb420_b_ti,
                                       dv_mb420_b_tl, dv_mb420_b_trgb, dv_mb420_b_hi, dv_mb420_b_hl,
                                       dv_mb420_b_hrgb, dv_mb420_b_qi, dv_mb420_b_ql, dv_mb420_b_qrgb};
  return renderers[format - 3];
}

// The macroblock's samples as the renderers are meant to read them.
struct BlockSamples {
  const dv_macroblock_t &mb;
  int lum(int r, int c) const { return mb.b[2 * (r / 8) + c / 8].coeffs[8 * (r % 8) + c % 8]; }
  int cr(int u, int v) const { return mb.b[4].coeffs[8 * u + v]; }
  int cb(int u, int v) const { return mb.b[5].coeffs[8 * u + v]; }
};

dv_macroblock_t uniform_macroblock(int luma, int cr, int cb) {
  dv_macroblock_t mb{};
  for (int b = 0; b < 6; ++b) {
    const int value = b < 4 ? luma : b == 4 ? cr : cb;
    for (dv_coeff_t &s : mb.b[b].coeffs) s = static_cast<dv_coeff_t>(value);
  }
  return mb;
}

class ExtendedRenderers : public testing::Test {
 protected:
  static void SetUpTestSuite() { dv_rgb_init(); }
};

// Where the macroblock at x = 704, y = 560 lands: columns and rows of pixels.
struct Patch {
  int format, column, row, columns, rows, pixel_bytes;
};

TEST_F(ExtendedRenderers, CornerMacroblockWritesItsPatchAndNothingElse) {
  const Patch patches[] = {{3, 704, 560, 16, 16, 4}, {4, 704, 560, 16, 16, 1}, {5, 704, 560, 16, 16, 4},
                           {6, 88, 70, 4, 2, 4},      {7, 88, 70, 4, 2, 1},      {8, 88, 70, 4, 2, 4},
                           {11, 352, 280, 8, 8, 4}};
  // Half the samples in the range where colours change, half anywhere in 16
  // bits, so that every clamp is exercised.
  std::mt19937 rng(7);
  dv_macroblock_t mb{};
  for (dv_block_t &block : mb.b) {
    for (dv_coeff_t &s : block.coeffs) {
      s = static_cast<dv_coeff_t>(rng() % 2 ? static_cast<int>(rng() % 301) - 150 : static_cast<int16_t>(rng()));
    }
  }
  mb.x = 704, mb.y = 560;
  for (const Patch &p : patches) {
    SCOPED_TRACE(testing::Message() << "format " << p.format);
    const ImageShape shape = shape_of_format(p.format);
    const ImageShape room = {shape.rows + 2, shape.row_bytes + 16};
    // A byte the renderer writes holds the same value over either canary.
    RowImage over_a5(room, 0xa5), over_5a(room, 0x5a), expected(room, 0xa5);
    renderer_of(p.format)(&mb, over_a5.pixels(), 0);
    renderer_of(p.format)(&mb, over_5a.pixels(), 0);
    draw_reference(p.format, BlockSamples{mb}, mb.x, mb.y, expected);
    int misplaced = 0;
    for (size_t i = 0; i < over_a5.bytes().size(); ++i) {
      const int row = static_cast<int>(i) / room.row_bytes, byte = static_cast<int>(i) % room.row_bytes;
      const bool inside = row >= p.row && row < p.row + p.rows && byte >= p.column * p.pixel_bytes &&
                          byte < (p.column + p.columns) * p.pixel_bytes;
      misplaced += inside != (over_a5.bytes()[i] == over_5a.bytes()[i]);
    }
    EXPECT_EQ(misplaced, 0);
    EXPECT_EQ(first_difference(expected, over_a5), "");
  }
}

struct ColourCase {
  int luma, cr, cb;
  int red, green, blue;  // format 5; format 3 gives the red value as an int
  int luminance;         // format 4
};

TEST_F(ExtendedRenderers, ColoursAtTheEdgesOfTheSampleRanges) {
  const ColourCase cases[] = {
      {107, 0, 0, 254, 254, 254, 254},  // studio white is 254, not 255
      {0, 0, 0, 130, 130, 130, 130},
      {-112, 0, 0, 0, 0, 0, 0},
      {300, 0, 0, 254, 254, 254, 254},  // luminance beyond studio white or black changes nothing
      {-200, 0, 0, 0, 0, 0, 0},
      {32767, 0, 0, 254, 254, 254, 254},
      {-32768, 0, 0, 0, 0, 0, 0},
      {0, 127, 0, 255, 39, 130, 130},
      {0, 128, 0, 255, 39, 130, 130},  // chrominance saturates instead of wrapping to -128
      {0, 300, 0, 255, 39, 130, 130},
      {0, -129, 0, 0, 221, 130, 130},
      {0, 0, 112, 130, 86, 255, 130},
      {0, 0, 200, 130, 86, 255, 130},
      {0, -112, -112, 0, 255, 0, 130},
  };
  for (const ColourCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "luma " << c.luma << " cr " << c.cr << " cb " << c.cb);
    dv_macroblock_t mb = uniform_macroblock(c.luma, c.cr, c.cb);
    RowImage rgb(16, 64), luminance(16, 16), red(16, 64);
    dv_mb420_b_rgb(&mb, rgb.pixels(), 0);
    dv_mb420_b_l(&mb, luminance.pixels(), 0);
    dv_mb420_b_i(&mb, red.pixels(), 0);
    RowImage expected_rgb(16, 64), expected_luminance(16, 16), expected_red(16, 64);
    for (int r = 0; r < 16; ++r) {
      for (int col = 0; col < 16; ++col) {
        expected_rgb.put_rgb0(r, col, c.red, c.green, c.blue);
        expected_luminance.put_byte(r, col, c.luminance);
        expected_red.put_int(r, col, c.red);
      }
    }
    EXPECT_EQ(first_difference(expected_rgb, rgb), "");
    EXPECT_EQ(first_difference(expected_luminance, luminance), "");
    EXPECT_EQ(first_difference(expected_red, red), "");
  }
}

}  // namespace
}  // namespace ozmira::test
