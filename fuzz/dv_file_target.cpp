// A whole file through dvopen, dvreadframe on the first, the last and two
// frames outside the file, DisplayDvAttributes and dvclose. The input is
// written to an in-memory file of its own, which dvopen opens by its
// /proc/self/fd path.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "dvlib.h"
#include "frame_decoder.h"
#include "harness_memory.h"

namespace {

using namespace ozmira::fuzz;

struct Harness {
  int fd = memfd_create("ozmira-fuzz-file", 0);
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  RowImage image{shape_of_format(ozmira::e_dv_color_rgb)};  // packed RGB of a whole PAL frame

  Harness() {
    if (fd < 0) std::abort();
    discard_stdout();  // DisplayDvAttributes prints there
    dvinit();
  }

  void write_input(const uint8_t *data, size_t size) const {
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
  }
};

Harness &harness() {
  static Harness h;
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Harness &h = harness();
  h.write_input(data, size);
  dvfile *file = dvopen(h.path.c_str());
  if (file == nullptr) return 0;
  // dvopen parsed frame 0 and found it whole, so it decodes; nothing outside
  // the file does.
  if (file->num_frames < 1 || dvreadframe(file, h.image.row(0), 0) != 1) std::abort();
  dvreadframe(file, h.image.row(0), file->num_frames - 1);
  if (dvreadframe(file, h.image.row(0), file->num_frames) != 0) std::abort();
  if (dvreadframe(file, h.image.row(0), -1) != 0) std::abort();
  DisplayDvAttributes(file);
  if (dvclose(file) != 0) std::abort();
  return 0;
}
