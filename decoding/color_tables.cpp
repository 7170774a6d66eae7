#include "color_tables.h"

#include <algorithm>
#include <cmath>

namespace ozmira {

int32_t cr_red_storage[256];
int32_t cr_green_storage[256];
int32_t cb_green_storage[256];
int32_t cb_blue_storage[256];
int32_t luma_storage[768];
uint8_t clamp_storage[768];

int32_t *cr_red = nullptr;
int32_t *cr_green = nullptr;
int32_t *cb_green = nullptr;
int32_t *cb_blue = nullptr;
int32_t *luma_scale = nullptr;
uint8_t *clamp_8bit = nullptr;

namespace {

// Studio-range limits as sample values (component minus 128).
constexpr int kChromaLow = 16 - 128, kChromaHigh = 240 - 128;
constexpr int kLumaLow = 16 - 128, kLumaHigh = 235 - 128;

int32_t nearest(double x) { return static_cast<int32_t>(std::rint(x)); }

}  // namespace

void InitColorTables() {
  cb_blue = cb_blue_storage + 128;
  cr_green = cr_green_storage + 128;
  cb_green = cb_green_storage + 128;
  cr_red = cr_red_storage + 128;
  for (int i = -128; i <= 127; ++i) {
    const int clamped_offset = std::clamp(i, kChromaLow, kChromaHigh);
    cb_blue[i] = nearest(clamped_offset * 2066.432);
    cr_green[i] = nearest(clamped_offset * 832.512);
    cb_green[i] = nearest(clamped_offset * 400.384);
    cr_red[i] = nearest(clamped_offset * 1634.304);
  }

  luma_scale = luma_storage + 256;
  for (int i = -256; i <= 511; ++i) {
    luma_scale[i] = nearest((std::clamp(i, kLumaLow, kLumaHigh) - kLumaLow) * 1191.936);
  }

  clamp_8bit = clamp_storage + 256;
  for (int i = -256; i <= 511; ++i) {
    clamp_8bit[i] = static_cast<uint8_t>(std::clamp(i, 0, 255));
  }
}

}  // namespace ozmira
