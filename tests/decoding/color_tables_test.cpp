// The colour conversion tables: every entry against the formulas worked out
// independently in reference_render.h, over each table's whole index range and
// so where each saturates, with the telling entries pinned by hand, and the
// SSE2 entries that the full-size renderers compute in place of the look-ups.
// Whole colours at the edges of the sample ranges are checked through the
// renderers (renderer_edges_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "color_tables.h"
#include "conversion_sse2.h"
#include "reference_render.h"

namespace ozmira::test {
namespace {

class ColorTables : public testing::Test {
 protected:
  static void SetUpTestSuite() { dv_rgb_init(); }
};

TEST_F(ColorTables, EveryEntryFollowsTheFormulas) {
  const struct {
    const char *name;
    const int32_t *entries;
    double factor;
  } chroma[] = {{"table_1_596", table_1_596, 1634.304},
                {"table_0_813", table_0_813, 832.512},
                {"table_0_391", table_0_391, 400.384},
                {"table_2_018", table_2_018, 2066.432}};
  for (const auto &t : chroma)
    for (int i = -128; i <= 127; ++i) EXPECT_EQ(t.entries[i], ref_chroma_term(i, t.factor)) << t.name << " " << i;
  for (int i = -256; i <= 511; ++i) {
    EXPECT_EQ(ylut[i], ref_scaled_luma(i)) << "ylut " << i;
    EXPECT_EQ(rgblut[i], std::clamp(i, 0, 255)) << "rgblut " << i;
  }
  // Chrominance saturates at -112 and 112; luminance runs from black at -112
  // to studio white at 107.
  EXPECT_EQ(table_1_596[-128], -183042);  // rint(-112 x 1634.304)
  EXPECT_EQ(table_0_813[1], 833);
  EXPECT_EQ(ylut[-111], 1192);
  EXPECT_EQ(ylut[107], 261034);  // rint(219 x 1191.936)
  // The farthest sums stay inside rgblut's indices, -256..511.
  EXPECT_LE((ylut[107] + table_2_018[112]) >> 10, 511);
  EXPECT_GE((ylut[-112] + table_2_018[-112]) >> 10, -256);
  EXPECT_GE((ylut[-112] - table_0_813[112] - table_0_391[112]) >> 10, -256);
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
