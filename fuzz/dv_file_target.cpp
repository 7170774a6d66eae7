// A whole file through dvopen, dvreadframe on the first, the last and two
// frames outside the file, DisplayDvAttributes and dvclose. The input is
// written to a temporary file of its own (on tmpfs when there is one).
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "dvlib.h"
#include "frame_decoder.h"
#include "harness_memory.h"

namespace {

using namespace ozmira::fuzz;

std::string temporary_file() {
  std::string path = (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) +
                     "/ozmira-fuzz-file-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) std::abort();
  close(fd);
  return path;
}

struct Harness {
  std::string path = temporary_file();
  GuardedImage image{shape_of_format(ozmira::e_dv_color_rgb)};  // packed RGB of a whole PAL frame

  Harness() {
    discard_stdout();  // DisplayDvAttributes prints there
    dvinit();
  }
  ~Harness() { unlink(path.c_str()); }

  void write_input(const uint8_t *data, size_t size) const {
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) std::abort();
    for (size_t done = 0; done < size;) {
      const ssize_t n = write(fd, data + done, size - done);
      if (n <= 0) std::abort();
      done += static_cast<size_t>(n);
    }
    close(fd);
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
  if (file->num_frames < 1 || dvreadframe(file, h.image.data(), 0) != 1) std::abort();
  dvreadframe(file, h.image.data(), file->num_frames - 1);
  if (dvreadframe(file, h.image.data(), file->num_frames) != 0) std::abort();
  if (dvreadframe(file, h.image.data(), -1) != 0) std::abort();
  DisplayDvAttributes(file);
  if (dvclose(file) != 0) std::abort();
  return 0;
}
