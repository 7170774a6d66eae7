// Shared by the fuzz targets and the tests: memory that ends at an inaccessible
// page, so that libdv (not instrumented) faults where it strays, and images of
// every output format over such memory. Built with OZMIRA_REPLAY (every build's
// CTest), a target's main replays the inputs in the folders it is given.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ozmira::fuzz {

inline constexpr size_t kPalFrameBytes = 144000, kNtscFrameBytes = 120000;

class Guarded {
 public:
  explicit Guarded(size_t size) : size_(size) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    span_ = (size + page - 1) / page * page + page;
    base_ = static_cast<uint8_t *>(mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base_ == MAP_FAILED || mprotect(base_ + span_ - page, page, PROT_NONE) != 0) std::abort();
  }
  ~Guarded() { munmap(base_, span_); }
  Guarded(const Guarded &) = delete;
  uint8_t *data() const { return base_ + span_ - static_cast<size_t>(sysconf(_SC_PAGESIZE)) - size_; }
  size_t size() const { return size_; }
  // The input's first bytes, zero-filled to the end.
  const uint8_t *fill(const uint8_t *in, size_t n) {
    n = std::min(n, size_);
    if (n > 0) std::memcpy(data(), in, n);
    std::memset(data() + n, 0, size_ - n);
    return data();
  }

 private:
  uint8_t *base_;
  size_t size_, span_;
};

// Rows and bytes per row that format f writes for a PAL frame (the formats
// that draw nothing get the full-size RGB0 shape).
inline int rows_of(int f) { return f == 6 || f == 7 || f == 8 ? 72 : f == 11 ? 288 : 576; }
inline int row_bytes_of(int f) {
  const int bytes[] = {1440, 2160, 2880, 2880, 720, 2880, 368, 92, 368, 2880, 2880, 1440};
  return f >= 0 && f < 12 ? bytes[f] : 2880;
}

// Rows back to back, `pitch` apart, every byte `fill` at first.
struct Image {
  Image(int rows, int row_bytes, uint8_t fill = 0xa5) : mem(size_t(rows) * row_bytes), pitch(row_bytes) {
    std::memset(mem.data(), fill, mem.size());
    for (int r = 0; r < rows; ++r) row.push_back(mem.data() + size_t(r) * row_bytes);
  }
  explicit Image(int format) : Image(rows_of(format), row_bytes_of(format)) {}
  uint8_t **pixels() { return row.data(); }
  bool operator==(const Image &o) const {
    return mem.size() == o.mem.size() && std::memcmp(mem.data(), o.mem.data(), mem.size()) == 0;
  }
  Guarded mem;
  int pitch;
  std::vector<uint8_t *> row;
};

// The frame decoder reports each 4:1:1 macroblock asked of an extended format on stdout.
inline void discard_stdout() {
  static char buffer[1 << 16];
  if (std::freopen("/dev/null", "w", stdout) != nullptr) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

}  // namespace ozmira::fuzz

#ifdef OZMIRA_REPLAY
#include <filesystem>
#include <fstream>
#include <iterator>
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
int main(int argc, char **argv) {
  int replayed = 0;
  for (int i = 1; i < argc; ++i)
    for (const auto &entry : std::filesystem::directory_iterator(argv[i])) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      std::fprintf(stderr, "replayed %s\n", entry.path().c_str());
      ++replayed;
    }
  return replayed > 0 ? 0 : 1;
}
#endif
