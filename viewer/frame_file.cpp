// Frame counting and reading with 64-bit file positions.
#include "frame_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace ozmira::viewer {

static_assert(sizeof(off_t) == 8, "file positions must be 64-bit");

std::FILE *OpenFrameFile(const char *path, OpenFailure &failure) {
  failure = OpenFailure::kNone;
  // Non-blocking, so that opening a named pipe with no writer returns at once.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    failure = OpenFailure::kCannotOpen;
    return nullptr;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode))) {
    close(fd);
    failure = OpenFailure::kNotAFile;
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE *file = fdopen(fd, "rb");
  if (file == nullptr) {
    close(fd);
    failure = OpenFailure::kCannotOpen;
  }
  return file;
}

int CountWholeFrames(std::FILE *file) {
  const int frames = dvcountframes(file);
  return frames < 0 ? 0 : frames;
}

std::size_t ReadFrame(std::FILE *file, int frameno, unsigned char *framebuf) {
  fseeko(file, off_t{frameno} * kFrameBytes, SEEK_SET);
  return std::fread(framebuf, 1, kFrameBytes, file);
}

}  // namespace ozmira::viewer
