// ozmira <dv file>: plays a raw PAL DV file in a 720 x 576 window from the
// keyboard, with its sound. Start-up checks here; the window and its events
// are in window_events.cpp, the loop in player.cpp.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dvlib.h"
#include "frame_file.h"
#include "player.h"
#include "sound_output.h"

namespace {

// One raw frame; zeroed, so a short read never shows uninitialised memory.
unsigned char framebuf[ozmira::viewer::kFrameBytes];
unsigned char *rgbbuf = nullptr;

constexpr char kUsage[] = "Usage:  ozmira <dv file>\n";
constexpr char kHelp[] =
    "Plays a raw PAL DV file (720 x 576, 144000-byte frames back to back) at 25\n"
    "frames a second, with its sound while it plays forwards at step 1.\n"
    "\n"
    "Keys: Space pause, Return play, Right/Left forwards/backwards, Up/Down faster\n"
    "forwards/backwards, Page Up/Page Down next/previous frame, Home/End first/last\n"
    "frame, F1 suspend or resume decoding, q or Escape quit.\n"
    "\n"
    "SDL_AUDIODRIVER=dummy plays without sound. A file named --help or --version\n"
    "plays as ./--help or ./--version. man ozmira has the details.\n";

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
    std::fputs(kUsage, stderr);
    std::exit(1);
  }
  const char *path = argv[1];
  if (std::strcmp(path, "--help") == 0) {
    std::printf("%s\n%s", kUsage, kHelp);
    return 0;
  }
  if (std::strcmp(path, "--version") == 0) {
    std::printf("ozmira %s\n", OZMIRA_VERSION);
    return 0;
  }
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
  SoundOutput sound;  // opened by the first frame that has sound
  Player player;
  player.file = file;
  player.framebuf = framebuf;
  player.rgbbuf = rgbbuf;
  player.sound = &sound;
  PlayLoop(player, nframes);
  std::fclose(file);
  return 0;
}
