// dvreadformat: a frame block into any of the frame decoder's fifteen output
// formats, with every argument checked before anything is drawn.
#include <climits>
#include <cstdio>

#include "dvlib.h"
#include "library_state.h"

using namespace ozmira::dvlib;

namespace {

constexpr const char *kCaller = "dvreadformat";
constexpr int kRgb0Bytes = 4, kInt32Bytes = 4;

// What a format draws into: packed formats one image of pixels this many
// bytes wide; row formats this many rows of this many bytes, reached through
// their pointers (none for the formats that draw nothing).
struct FormatLayout {
  int packed_pixel_bytes;  // 0 for a row format
  int rows;
  int row_bytes;
};

constexpr FormatLayout kLayouts[] = {
    {2, 0, 0},  // YUY2: two pixels in Y0 Cb Y1 Cr
    {3, 0, 0},  // RGB
    {4, 0, 0},  // BGR0
    {0, DVLIB_FULL_HEIGHT, DVLIB_FULL_WIDTH *kInt32Bytes},
    {0, DVLIB_FULL_HEIGHT, DVLIB_FULL_WIDTH},
    {0, DVLIB_FULL_HEIGHT, DVLIB_FULL_WIDTH *kRgb0Bytes},
    {0, DVLIB_THUMB_HEIGHT, DVLIB_THUMB_WIDTH *kInt32Bytes},
    {0, DVLIB_THUMB_HEIGHT, DVLIB_THUMB_WIDTH},
    {0, DVLIB_THUMB_HEIGHT, DVLIB_THUMB_WIDTH *kRgb0Bytes},
    {0, 0, 0},
    {0, 0, 0},
    {0, DVLIB_HALF_HEIGHT, DVLIB_HALF_WIDTH *kRgb0Bytes},
    {0, 0, 0},
    {0, 0, 0},
    {0, 0, 0},
};
static_assert(sizeof kLayouts / sizeof kLayouts[0] == ozmira::kColorSpaceCount,
              "one layout per output format");

int refuse(const char *why) {
  LogLine("(%s:dvlib): %s\n", kCaller, why);
  return 0;
}

// The packed image must hold `height` lines of `width` pixels, and the
// renderers' int offsets (line times pitch) must not overflow.
int check_packed(const FormatLayout &layout, unsigned char **pixels, int pitch, int width, int height) {
  if (pixels[0] == nullptr) return refuse("'pixels[0]' was NULL - user must pass an image.");
  const int line_bytes = width * layout.packed_pixel_bytes;
  const int longest = INT_MAX / height;
  if (pitch < line_bytes || pitch > longest) {
    LogLine("(%s:dvlib): pitch %d out of range - lines of this frame are %d to %d bytes apart.\n", kCaller,
            pitch, line_bytes, longest);
    return 0;
  }
  return 1;
}

int check_rows(int format, const FormatLayout &layout, unsigned char **pixels) {
  for (int row = 0; row < layout.rows; ++row) {
    if (pixels[row] == nullptr) {
      LogLine("(%s:dvlib): row %d was NULL - format %d needs %d rows of %d bytes.\n", kCaller, row, format,
              layout.rows, layout.row_bytes);
      return 0;
    }
  }
  return 1;
}

}  // namespace

extern "C" int dvreadformat(const unsigned char *block, int format, unsigned char **pixels, int *pitches,
                            int flags) {
  if (block == nullptr || pixels == nullptr || pitches == nullptr) {
    LogLine("(%s:dvlib): '%s' was NULL - user must pass a frame block, pixels and pitches.\n", kCaller,
            block == nullptr    ? "block"
            : pixels == nullptr ? "pixels"
                                : "pitches");
    return 0;
  }
  if (format < 0 || format >= ozmira::kColorSpaceCount) {
    LogLine("(%s:dvlib): unknown output format %d - formats are 0 to %d.\n", kCaller, format,
            ozmira::kColorSpaceCount - 1);
    return 0;
  }
  unsigned quality;
  switch (flags) {
    case kRequestFull: quality = kQualityFull; break;
    case kRequestDc: quality = kQualityDc; break;
    default:
      LogLine("(%s:dvlib): unknown request code %d - 2 asks for full detail, 16 for DC only.\n", kCaller,
              flags);
      return 0;
  }
  const CallGuard guard(kCaller);
  if (guard.refused()) return 0;
  dv_decoder_t *dv = decoder_for_block(kCaller, block);
  if (dv == nullptr) return 0;

  const FormatLayout &layout = kLayouts[format];
  const auto color_space = static_cast<ozmira::ColorSpace>(format);
  if (layout.packed_pixel_bytes != 0) {
    if (check_packed(layout, pixels, pitches[0], dv->width, dv->height) == 0) return 0;
    return decode_block(kCaller, dv, block, color_space, pixels, pitches, quality);
  }
  if (dv->sampling == e_dv_sample_411) {
    // The frame decoder reports each macroblock through error_mess and the
    // host's flag, as it does for every caller, and draws none of them.
    decode_block(kCaller, dv, block, color_space, pixels, pitches, quality);
    LogLine("(%s:dvlib): format %d needs a 4:2:0 frame; this one is 4:1:1 - nothing drawn.\n", kCaller,
            format);
    return 0;
  }
  if (check_rows(format, layout, pixels) == 0) return 0;
  return decode_block(kCaller, dv, block, color_space, pixels, pitches, quality);
}
