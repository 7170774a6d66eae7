// A whole file: frame 0 decodes, frames outside it fail.
#include <sys/mman.h>
#include <string>
#include "dvlib.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const int fd = memfd_create("ozmira-fuzz-file", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  static ozmira::fuzz::Image image(1);
  static bool ready = false;
  if (!ready) {
    ozmira::fuzz::discard_stdout();
    dvinit();
    ready = true;
  }
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) std::abort();
  dvfile *file = dvopen(path.c_str());
  if (file == nullptr) return 0;
  uint8_t *rgb = image.row[0];
  if (file->num_frames < 1 || dvreadframe(file, rgb, 0) != 1) std::abort();
  dvreadframe(file, rgb, file->num_frames - 1);
  if (dvreadframe(file, rgb, file->num_frames) != 0 || dvreadframe(file, rgb, -1) != 0) std::abort();
  DisplayDvAttributes(file);
  if (dvclose(file) != 0) std::abort();
  return 0;
}
