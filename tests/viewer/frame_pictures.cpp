// frame_pictures CLIP OUTDIR: writes dvreadblock's packed RGB picture of every
// whole frame of a raw PAL DV file to OUTDIR/<frame number>.rgb, the pictures
// the window tests expect to see on screen; with a third argument (sound),
// libdv's own decode of the frames' sound instead, 16-bit stereo, to OUTDIR/sound.raw.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dvlib.h"
#include <libdv/dv.h>

namespace {
constexpr size_t kFrameBytes = 144000;
constexpr size_t kPictureBytes = 720 * 576 * 3;
constexpr int kFullDetailRequest = 2;
}  // namespace

int main(int argc, char **argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: frame_pictures CLIP OUTDIR [sound]\n");
    return 2;
  }
  std::ifstream clip(argv[1], std::ios::binary);
  const std::vector<unsigned char> bytes(std::istreambuf_iterator<char>(clip), {});
  std::vector<unsigned char> picture(kPictureBytes);
  dvinit();
  dv_decoder_t *libdv = dv_decoder_new(0, 0, 0);
  int16_t planar[2][1944], *outbufs[4] = {planar[0], planar[1], planar[0], planar[1]};
  std::ofstream sound(std::string(argv[2]) + "/sound.raw", std::ios::binary);
  for (size_t frame = 0; (frame + 1) * kFrameBytes <= bytes.size(); ++frame) {
    const unsigned char *block = &bytes[frame * kFrameBytes];
    if (argc == 4) {
      if (dv_parse_header(libdv, block) < 0 || !dv_decode_full_audio(libdv, block, outbufs)) return 1;
      for (int s = 0; s < dv_get_num_samples(libdv); ++s)
        for (const int16_t *channel : planar) sound.write(reinterpret_cast<const char *>(&channel[s]), sizeof channel[s]);
      continue;
    }
    if (dvreadblock(block, picture.data(), kFullDetailRequest, 0) != 1) return 1;
    std::ofstream out(std::string(argv[2]) + "/" + std::to_string(frame) + ".rgb", std::ios::binary);
    out.write(reinterpret_cast<const char *>(picture.data()), picture.size());
    if (!out) return 1;
  }
  return sound ? 0 : 1;
}
