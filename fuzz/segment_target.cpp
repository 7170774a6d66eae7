// One segment parsed as libdv does, then decoded in every format. Byte 0: 4:1:1 (bit 0), DC only (bit 1);
// bytes 1, 2: sequence, segment.
#include <libdv/dv.h>
#include <deque>
#include "color_tables.h"
#include "frame_decoder.h"
#include "fuzz_support.h"

using namespace ozmira;

// APT 0: 4:2:0, 1: 4:1:1.
static dv_decoder_t *decoder_for(uint8_t apt) {
  std::vector<uint8_t> frame(fuzz::kPalFrameBytes, 0);
  std::memset(frame.data(), 0xff, 80);
  std::memset(&frame[3 * 80], 0xff, 3 * 80);
  const uint8_t header[] = {0x1f,
                            0x07,
                            0x00,
                            0xbf,
                            uint8_t(0xf8 | apt),
                            uint8_t(0x78 | apt),
                            uint8_t(0x78 | apt),
                            uint8_t(0x78 | apt)};
  std::memcpy(frame.data(), header, sizeof header);
  for (int b = 3; b < 6; ++b) {
    frame[b * 80] = 0x56;
    frame[b * 80 + 1] = 0x07;
    frame[b * 80 + 2] = uint8_t(b - 3);
  }
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  if (!dv || dv_parse_header(dv, frame.data()) == -1 ||
      dv->sampling != (apt ? e_dv_sample_411 : e_dv_sample_420))
    std::abort();
  return dv;
}
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static dv_decoder_t *pal420 = decoder_for(0), *pal411 = decoder_for(1);
  static fuzz::Guarded segment(kSegmentBytes);
  static std::deque<fuzz::Image> images;
  static fuzz::LibdvParser libdv;
  if (images.empty()) {
    fuzz::discard_stdout();
    InitColorTables();
    for (int f = 0; f < kColorSpaceCount; ++f) images.emplace_back(f);
  }
  uint8_t choice[3] = {};
  std::memcpy(choice, data, std::min<size_t>(size, 3));
  const uint8_t *bytes = segment.fill(data + std::min<size_t>(size, 3), size - std::min<size_t>(size, 3));
  bool intact;
  for (unsigned quality = 0; quality < 8; ++quality)
    if (!fuzz::parse_difference(libdv, bytes, quality, intact).empty()) std::abort();
  dv_decoder_t *dv = choice[0] & 1 ? pal411 : pal420;
  dv->quality = choice[0] & 2 ? 1 : 5;
  for (int f = 0; f < kColorSpaceCount; ++f)
    DecodeVideoSegment(dv, bytes, choice[1] % 12, choice[2] % 27, ozmira::ColorSpace(f), images[f].pixels(),
                       &images[f].pitch);
  return 0;
}
