// ozmira <dv file>: plays a raw PAL DV file in a 720 x 576 window from the
// keyboard. Start-up checks here; the window and the loop are in player.cpp.
#include <cstdio>
#include <cstdlib>

#include "dvlib.h"
#include "frame_file.h"
#include "player.h"

namespace {

// One raw frame; zeroed, so a short read never shows uninitialised memory.
unsigned char framebuf[ozmira::viewer::kFrameBytes];
unsigned char *rgbbuf = nullptr;

[[noreturn]] void RefuseFile() {
  std::printf("Not a PAL format video\n");
  std::exit(1);
}

}  // namespace

int main(int argc, char **argv) {
  using namespace ozmira::viewer;
  // Zeroed, so no picture ever shows uninitialised memory.
  rgbbuf = static_cast<unsigned char *>(std::calloc(1, kPictureBytes));
  if (rgbbuf == nullptr) {
    std::fprintf(stderr, "Couldn't allocate the picture buffer (%d bytes)\n", kPictureBytes);
    std::exit(1);
  }
  dvinit();
  if (argc != 2) {
    std::fputs("Usage:  ozmira <dv file>\n", stderr);
    std::exit(1);
  }
  const char *path = argv[1];
  OpenFailure failure;
  std::FILE *file = OpenFrameFile(path, failure);
  if (failure == OpenFailure::kCannotOpen) {
    std::printf("%s not found\n", path);
    std::exit(1);
  }
  if (file == nullptr) RefuseFile();

  // Frame 0 must be whole, parse, and be 720 x 576 before any window opens.
  const int nframes = CountWholeFrames(file);
  if (nframes < 1 || ReadFrame(file, 0, framebuf) != kFrameBytes) RefuseFile();
  dvfile attributes{};
  if (dvstatus(framebuf, &attributes) == -1 || attributes.x_size != kWidth || attributes.y_size != kHeight)
    RefuseFile();

  StartUp(path);
  PlayLoop(file, nframes, framebuf, rgbbuf);
  std::fclose(file);
  return 0;
}
