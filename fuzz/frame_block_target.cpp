// One frame block through its sound's decode, every dvlib call on a block and
// through the frame decoder in all fifteen output formats (at full detail: the segment target
// covers the DC-only parse in every format at a thousandth of the cost).
// The block ends at an inaccessible page, so a read past the frame by libdv
// (not instrumented) faults as surely as one by our own code.
#include <cstdint>
#include <cstdlib>
#include <deque>

#include "dvlib.h"
#include "frame_audio.h"
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
  static int16_t pcm[kMaxAudioChannels * kMaxAudioSamplesPerFrame];
  AudioFormat format;
  if (decode_frame_audio(block, frame_bytes, format, pcm) > kMaxAudioSamplesPerFrame) std::abort();

  dvfile attributes{};
  if (dvstatus(block, &attributes) == -1) {
    // A header that does not parse is refused by every call, with nothing drawn.
    if (dvreadblock(block, h.packed_rgb.row(0), kFull, 0) != 0) std::abort();
    if (dvreadarray(block, h.rgb_rows.pixels(), kFull, 0) != 0) std::abort();
    return 0;
  }
  if (dvreadblock(block, h.packed_rgb.row(0), kFull, 0) != 1) std::abort();
  if (dvreadblock(block, h.packed_rgb.row(0), 0, kDcOnly) != 1) std::abort();
  h.format_error = 0;
  if (dvreadarray(block, h.rgb_rows.pixels(), kFull, 0) != 1) std::abort();
  // dvreadarray reports exactly the frames it cannot draw: those of 4:1:1.
  if (h.format_error != (attributes.code == e_dv_sample_411)) std::abort();

  // dvreadarray left the header of this frame and full quality in the decoder.
  for (int f = 0; f < kColorSpaceCount; ++f) {
    RowImage &image = h.formats[f];
    dv_decode_full_frame(dvlib::decoder, block, static_cast<ozmira::dv_color_space_t>(f), image.pixels(),
                         image.pitches());
  }
  return 0;
}
