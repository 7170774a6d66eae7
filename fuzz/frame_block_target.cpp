// One frame block through every dvlib call; the error flag set exactly for 4:1:1.
#include <deque>
#include "dvlib.h"
#include "frame_audio.h"
#include "frame_decoder.h"
#include "fuzz_support.h"
#include "library_state.h"

using namespace ozmira;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static fuzz::Guarded pal(fuzz::kPalFrameBytes), ntsc(fuzz::kNtscFrameBytes);
  static std::deque<fuzz::Image> images;
  static int format_error = 0;
  if (images.empty()) {
    fuzz::discard_stdout();
    dvinit();
    pforerror = &format_error;
    for (int f = 0; f < kColorSpaceCount; ++f) images.emplace_back(f);
  }
  const bool is_pal = size > 3 && (data[3] & 0x80) != 0;  // DSF
  const uint8_t *block = (is_pal ? pal : ntsc).fill(data, size);
  static short pcm[DVLIB_AUDIO_MAX_SAMPLES];
  dvframeinfo info{};
  info.size = sizeof info;
  int channels = 0;
  const int parsed = dvreadinfo(block, &info);
  const int samples = dvreadaudio(block, pcm, nullptr, &channels);
  if (samples != (parsed == 1 ? info.audio_samples : -1) || (samples > 0 && channels != info.audio_channels))
    std::abort();
  uint8_t *rgb = images[1].row[0], **rows = images[5].pixels();
  dvfile attributes{};
  format_error = 0;
  if (dvstatus(block, &attributes) == -1) {
    if (dvreadblock(block, rgb, 2, 0) != 0 || dvreadarray(block, rows, 2, 0) != 0) std::abort();
    DecodeFrame(dvlib::decoder, block, ozmira::e_dv_color_rgb, images[1].pixels(), &images[1].pitch);
    return 0;
  }
  const bool drawable = attributes.code != e_dv_sample_411;
  if (dvreadblock(block, rgb, 2, 0) != 1 || dvreadblock(block, rgb, 0, 16) != 1 ||
      dvreadarray(block, rows, 2, 0) != drawable || format_error == drawable)
    std::abort();
  for (int f = 0; f < kColorSpaceCount; ++f)
    if (dvreadformat(block, f, images[f].pixels(), &images[f].pitch, 2) != (f <= 2 || drawable)) std::abort();
  return 0;
}
