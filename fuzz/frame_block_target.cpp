// One frame block, exactly as long as its header says and ending at an inaccessible page: dvstatus, dvreadblock
// (requests 2 and 16), dvreadarray with the host error flag registered (set exactly for 4:1:1 frames), then the frame
// decoder in all fifteen formats at full detail (the segment target covers the DC-only parse at a thousandth of the
// cost).
#include <deque>
#include "dvlib.h"
#include "frame_decoder.h"
#include "fuzz_support.h"
#include "library_state.h"

using namespace ozmira;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static fuzz::Guarded pal(fuzz::kPalFrameBytes), ntsc(fuzz::kNtscFrameBytes), probe_block(fuzz::kPalFrameBytes);
  static dv_decoder_t *probe = dv_decoder_new(0, 0, 0);  // sizes the block without touching dvlib's decoder
  static std::deque<fuzz::Image> images;
  static int format_error = 0;
  if (images.empty()) {
    fuzz::discard_stdout(), dvinit(), pforerror = &format_error;
    for (int f = 0; f < kColorSpaceCount; ++f) images.emplace_back(f);
  }
  const bool is_ntsc = dv_parse_header(probe, probe_block.fill(data, size)) != -1 && probe->num_dif_seqs == 10;
  const uint8_t *block = (is_ntsc ? ntsc : pal).fill(data, size);
  uint8_t *rgb = images[1].row[0], **rows = images[5].pixels();
  dvfile attributes{};
  format_error = 0;
  if (dvstatus(block, &attributes) == -1) {
    if (dvreadblock(block, rgb, 2, 0) != 0 || dvreadarray(block, rows, 2, 0) != 0) std::abort();
  } else if (dvreadblock(block, rgb, 2, 0) != 1 || dvreadblock(block, rgb, 0, 16) != 1 ||
             dvreadarray(block, rows, 2, 0) != 1 || format_error != (attributes.code == e_dv_sample_411)) {
    std::abort();
  } else {  // dvreadarray left this frame's header and full quality in the decoder
    for (int f = 0; f < kColorSpaceCount; ++f)
      dv_decode_full_frame(dvlib::decoder, block, ozmira::dv_color_space_t(f), images[f].pixels(), &images[f].pitch);
  }
  return 0;
}
