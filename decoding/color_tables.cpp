#include "color_tables.h"

#include <algorithm>
#include <cmath>

namespace ozmira {

int32_t real_table_1_596[256];
int32_t real_table_0_813[256];
int32_t real_table_0_391[256];
int32_t real_table_2_018[256];
int32_t real_ylut[768];
uint8_t real_rgblut[768];

int32_t *table_1_596 = nullptr;
int32_t *table_0_813 = nullptr;
int32_t *table_0_391 = nullptr;
int32_t *table_2_018 = nullptr;
int32_t *ylut = nullptr;
uint8_t *rgblut = nullptr;

namespace {

// Studio-range limits as sample values (component minus 128).
constexpr int kChromaLow = 16 - 128, kChromaHigh = 240 - 128;
constexpr int kLumaLow = 16 - 128, kLumaHigh = 235 - 128;

int32_t nearest(double x) { return static_cast<int32_t>(std::rint(x)); }

}  // namespace

void dv_rgb_init() {
  table_2_018 = real_table_2_018 + 128;
  table_0_813 = real_table_0_813 + 128;
  table_0_391 = real_table_0_391 + 128;
  table_1_596 = real_table_1_596 + 128;
  for (int i = -128; i <= 127; ++i) {
    const int clamped_offset = std::clamp(i, kChromaLow, kChromaHigh);
    table_2_018[i] = nearest(clamped_offset * 2066.432);
    table_0_813[i] = nearest(clamped_offset * 832.512);
    table_0_391[i] = nearest(clamped_offset * 400.384);
    table_1_596[i] = nearest(clamped_offset * 1634.304);
  }

  ylut = real_ylut + 256;
  for (int i = -256; i <= 511; ++i) {
    ylut[i] = nearest((std::clamp(i, kLumaLow, kLumaHigh) - kLumaLow) * 1191.936);
  }

  rgblut = real_rgblut + 256;
  for (int i = -256; i <= 511; ++i) {
    rgblut[i] = static_cast<uint8_t>(std::clamp(i, 0, 255));
  }
}

}  // namespace ozmira
