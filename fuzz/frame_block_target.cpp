// One frame block, as long as its DSF bit marks, through every dvlib call on a
// block, dvreadformat in all fifteen formats (at full detail: the segment
// target covers the DC-only parse at a thousandth of the cost); a refused one
// through the frame decoder with whatever header it holds. The block ends at
// an inaccessible page, so a read past the frame by libdv (not instrumented)
// faults as surely as one by our own code.
#include <cstdint>
#include <cstdlib>
#include <deque>

#include "dvlib.h"
#include "frame_decoder.h"
#include "harness_memory.h"
#include "library_state.h"

namespace {

using namespace ozmira;
using namespace ozmira::fuzz;

constexpr int kFull = 2, kDcOnly = 16;  // the request codes dvreadblock accepts

struct Harness {
  test::GuardedBuffer pal_block{kPalFrameBytes}, ntsc_block{kNtscFrameBytes};
  RowImage packed_rgb{shape_of_format(ozmira::e_dv_color_rgb)};
  RowImage rgb_rows{shape_of_format(ozmira::b_dv_color_RGB)};
  std::deque<RowImage> formats;  // one image per output format
  int format_error = 0;

  Harness() {
    discard_stdout();
    dvinit();
    for (int f = 0; f < kColorSpaceCount; ++f) formats.emplace_back(shape_of_format(f));
    pforerror = &format_error;
  }
};

Harness &harness() {
  static Harness h;
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Harness &h = harness();
  const size_t frame_bytes = frame_bytes_of(data, size);
  const uint8_t *block = guarded_copy(frame_bytes == kPalFrameBytes ? h.pal_block : h.ntsc_block, data, size);

  dvfile attributes{};
  if (dvstatus(block, &attributes) == -1) {
    // A header that does not parse is refused by every call, with nothing drawn.
    if (dvreadblock(block, h.packed_rgb.row(0), kFull, 0) != 0) std::abort();
    if (dvreadarray(block, h.rgb_rows.pixels(), kFull, 0) != 0) std::abort();
    dv_decode_full_frame(dvlib::decoder, block, ozmira::e_dv_color_rgb, h.packed_rgb.pixels(), h.packed_rgb.pitches());
    return 0;
  }
  if (dvreadblock(block, h.packed_rgb.row(0), kFull, 0) != 1) std::abort();
  if (dvreadblock(block, h.packed_rgb.row(0), 0, kDcOnly) != 1) std::abort();
  h.format_error = 0;
  // dvreadarray and the row formats refuse exactly the frames they cannot
  // draw, those of 4:1:1, and report them through the host's flag.
  const bool drawable = attributes.code != e_dv_sample_411;
  if (dvreadarray(block, h.rgb_rows.pixels(), kFull, 0) != drawable || h.format_error == drawable) std::abort();
  for (int f = 0; f < kColorSpaceCount; ++f) {
    RowImage &image = h.formats[f];
    if (dvreadformat(block, f, image.pixels(), image.pitches(), kFull) != (f <= ozmira::e_dv_color_bgr0 || drawable))
      std::abort();
  }
  return 0;
}
