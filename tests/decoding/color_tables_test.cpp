// The colour conversion tables: their telling entries, where they saturate,
// whole conversions at the edges of the studio range, and the SSE2 entries
// that the full-size renderers compute in place of the look-ups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "color_tables.h"
#include "conversion_sse2.h"

namespace ozmira::test {
namespace {

class ColorTables : public testing::Test {
 protected:
  static void SetUpTestSuite() { dv_rgb_init(); }

  static int red(int y, int cr) { return rgblut[(ylut[y] + table_1_596[cr]) >> 10]; }
  static int green(int y, int cr, int cb) { return rgblut[(ylut[y] - table_0_813[cr] - table_0_391[cb]) >> 10]; }
  static int blue(int y, int cb) { return rgblut[(ylut[y] + table_2_018[cb]) >> 10]; }
};

TEST_F(ColorTables, ChromaTablesScaleByTheirCoefficientAndSaturateAt112) {
  struct Table {
    const int32_t *entries;
    double factor;
    int32_t at_one;
  };
  const Table tables[] = {{table_1_596, 1634.304, 1634},
                          {table_0_813, 832.512, 833},
                          {table_0_391, 400.384, 400},
                          {table_2_018, 2066.432, 2066}};
  for (const Table &t : tables) {
    EXPECT_EQ(t.entries[0], 0);
    EXPECT_EQ(t.entries[1], t.at_one);
    EXPECT_EQ(t.entries[-1], -t.at_one);
    const int32_t low = static_cast<int32_t>(std::rint(-112 * t.factor));
    const int32_t high = static_cast<int32_t>(std::rint(112 * t.factor));
    for (int i = -128; i <= -112; ++i) EXPECT_EQ(t.entries[i], low) << i;
    for (int i = 112; i <= 127; ++i) EXPECT_EQ(t.entries[i], high) << i;
    EXPECT_NE(t.entries[111], high);
  }
  EXPECT_EQ(table_1_596[-128], -183042);  // rint(-112 x 1634.304)
}

TEST_F(ColorTables, LuminanceTableRunsFromBlackToWhiteOnly) {
  EXPECT_EQ(ylut[-256], 0);
  EXPECT_EQ(ylut[-112], 0);
  EXPECT_EQ(ylut[-111], 1192);
  EXPECT_EQ(ylut[107], 261034);  // rint(219 x 1191.936)
  EXPECT_EQ(ylut[511], ylut[107]);
  EXPECT_LT(ylut[106], ylut[107]);
}

TEST_F(ColorTables, FinalClampCoversEverySum) {
  EXPECT_EQ(rgblut[-256], 0);
  EXPECT_EQ(rgblut[-1], 0);
  EXPECT_EQ(rgblut[0], 0);
  EXPECT_EQ(rgblut[77], 77);
  EXPECT_EQ(rgblut[255], 255);
  EXPECT_EQ(rgblut[256], 255);
  EXPECT_EQ(rgblut[511], 255);
  // The farthest sums stay inside the table.
  EXPECT_EQ((ylut[107] + table_2_018[112]) >> 10, 480);
  EXPECT_EQ((ylut[-112] + table_2_018[-112]) >> 10, -227);
  EXPECT_EQ((ylut[107] + table_1_596[112]) >> 10, 433);
  EXPECT_EQ((ylut[-112] - table_0_813[112] - table_0_391[112]) >> 10, -135);
}

TEST_F(ColorTables, StudioLevelsAndPrimaries) {
  struct Case {
    int y, cr, cb, red, green, blue, luma;
  };
  const Case cases[] = {{107, 0, 0, 254, 254, 254, 254}, {-112, 0, 0, 0, 0, 0, 0},
                        {0, 0, 0, 130, 130, 130, 130},   {0, 112, 0, 255, 39, 130, 130},
                        {0, 0, 112, 130, 86, 255, 130},  {0, -112, -112, 0, 255, 0, 130}};
  for (const Case &c : cases) {
    EXPECT_EQ(red(c.y, c.cr), c.red) << c.y << " " << c.cr << " " << c.cb;
    EXPECT_EQ(green(c.y, c.cr, c.cb), c.green) << c.y << " " << c.cr << " " << c.cb;
    EXPECT_EQ(blue(c.y, c.cb), c.blue) << c.y << " " << c.cr << " " << c.cb;
    EXPECT_EQ(ylut[c.y] >> 10, c.luma) << c.y;
  }
}

TEST_F(ColorTables, BuildingAgainChangesNoEntry) {
  auto snapshot = [] {
    std::vector<uint8_t> bytes;
    auto add = [&](const void *table, size_t size) {
      const auto *b = static_cast<const uint8_t *>(table);
      bytes.insert(bytes.end(), b, b + size);
    };
    add(real_table_1_596, sizeof real_table_1_596);
    add(real_table_0_813, sizeof real_table_0_813);
    add(real_table_0_391, sizeof real_table_0_391);
    add(real_table_2_018, sizeof real_table_2_018);
    add(real_ylut, sizeof real_ylut);
    add(real_rgblut, sizeof real_rgblut);
    return bytes;
  };
  const std::vector<uint8_t> before = snapshot();
  int32_t *const ylut_before = ylut;
  dv_rgb_init();
  EXPECT_EQ(ylut, ylut_before);
  EXPECT_TRUE(before == snapshot());
}

// The renderers compute the table entries with SSE2: they must equal the
// tables, with the index clamps, for every 16-bit sample.
TEST_F(ColorTables, VectorEntriesEqualTheTablesForEverySixteenBitSample) {
  const auto chroma = [](const int32_t *table) {
    return [table](int s) { return table[std::clamp(s, -128, 127)]; };
  };
  const struct {
    const char *name;
    Int32x8 (*vector)(__m128i);
    std::function<int32_t(int)> scalar;
  } tables[] = {
      {"ylut", scaled_luma_x8, [](int s) { return ylut[std::clamp(s, -256, 511)]; }},
      {"table_1_596", red_of_cr_x8, chroma(table_1_596)},
      {"table_0_813", green_of_cr_x8, chroma(table_0_813)},
      {"table_0_391", green_of_cb_x8, chroma(table_0_391)},
      {"table_2_018", blue_of_cb_x8, chroma(table_2_018)},
  };
  for (const auto &t : tables) {
    int mismatches = 0;
    for (int first = -32768; first < 32768; first += 8) {
      alignas(16) int16_t samples[8];
      for (int i = 0; i < 8; ++i) samples[i] = static_cast<int16_t>(first + i);
      const Int32x8 v = t.vector(_mm_load_si128(reinterpret_cast<const __m128i *>(samples)));
      alignas(16) int32_t entries[8];
      _mm_store_si128(reinterpret_cast<__m128i *>(entries), v.low);
      _mm_store_si128(reinterpret_cast<__m128i *>(entries + 4), v.high);
      for (int i = 0; i < 8; ++i) {
        if (entries[i] != t.scalar(first + i) && ++mismatches <= 5) ADD_FAILURE() << t.name << " sample " << first + i;
      }
    }
    EXPECT_EQ(mismatches, 0) << t.name;
  }
}

}  // namespace
}  // namespace ozmira::test
