// frame_pictures CLIP OUTDIR: writes dvreadblock's packed RGB picture of every
// whole frame of a raw PAL DV file to OUTDIR/<frame number>.rgb, the pictures
// the window tests expect to see on screen.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dvlib.h"

namespace {
constexpr size_t kFrameBytes = 144000;
constexpr size_t kPictureBytes = 720 * 576 * 3;
constexpr int kFullDetailRequest = 2;
}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: frame_pictures CLIP OUTDIR\n");
    return 2;
  }
  std::ifstream clip(argv[1], std::ios::binary);
  const std::vector<unsigned char> bytes(std::istreambuf_iterator<char>(clip), {});
  std::vector<unsigned char> picture(kPictureBytes);
  dvinit();
  for (size_t frame = 0; (frame + 1) * kFrameBytes <= bytes.size(); ++frame) {
    if (dvreadblock(&bytes[frame * kFrameBytes], picture.data(), kFullDetailRequest, 0) != 1) return 1;
    std::ofstream out(std::string(argv[2]) + "/" + std::to_string(frame) + ".rgb", std::ios::binary);
    out.write(reinterpret_cast<const char *>(picture.data()), picture.size());
    if (!out) return 1;
  }
  return 0;
}
