// Shared by the fuzz targets and the tests: memory that ends at an inaccessible page, so that libdv (not
// instrumented) faults where it strays, and images of every output format over such memory. Built with OZMIRA_REPLAY
// (CTest, every build), a target's main replays the inputs in the folder it is given.
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
inline const size_t kPage = size_t(sysconf(_SC_PAGESIZE));

struct Guarded {
  explicit Guarded(size_t size) : size(size), span((size + kPage - 1) / kPage * kPage + kPage) {
    base = static_cast<uint8_t *>(mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base == MAP_FAILED || mprotect(base + span - kPage, kPage, PROT_NONE) != 0) std::abort();
  }
  ~Guarded() { munmap(base, span); }
  Guarded(const Guarded &) = delete;
  uint8_t *data() const { return base + span - kPage - size; }
  const uint8_t *fill(const uint8_t *in, size_t n) {  // the input, zero-filled to the end
    n = std::min(n, size);
    if (n > 0) std::memcpy(data(), in, n);
    std::memset(data() + n, 0, size - n);
    return data();
  }
  size_t size, span;
  uint8_t *base;
};
// Rows and bytes per row that format f draws of a PAL frame (full-size RGB0 for those drawing nothing).
inline int rows_of(int f) { return f == 6 || f == 7 || f == 8 ? 72 : f == 11 ? 288 : 576; }
inline int row_bytes_of(int f) {
  const int bytes[] = {1440, 2160, 2880, 2880, 720, 2880, 368, 92, 368, 2880, 2880, 1440};
  return f >= 0 && f < 12 ? bytes[f] : 2880;
}
// Rows `pitch` apart, back to back, every byte `fill` at first.
struct Image {
  Image(int rows, int row_bytes, uint8_t fill = 0xa5) : mem(size_t(rows) * row_bytes), pitch(row_bytes) {
    std::memset(mem.data(), fill, mem.size);
    for (int r = 0; r < rows; ++r) row.push_back(mem.data() + size_t(r) * row_bytes);
  }
  explicit Image(int format) : Image(rows_of(format), row_bytes_of(format)) {}
  uint8_t **pixels() { return row.data(); }
  bool operator==(const Image &o) const { return mem.size == o.mem.size && !memcmp(mem.data(), o.mem.data(), mem.size); }
  Guarded mem;
  int pitch;
  std::vector<uint8_t *> row;
};
// The frame decoder reports each 4:1:1 macroblock asked of an extended format on stdout.
inline void discard_stdout() { static_cast<void>(std::freopen("/dev/null", "w", stdout)); }

}  // namespace ozmira::fuzz
#ifdef OZMIRA_REPLAY
#include <filesystem>
#include <fstream>
#include <iterator>
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
int main(int, char **argv) {
  int replayed = 0;
  for (const auto &entry : std::filesystem::directory_iterator(argv[1])) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::fprintf(stderr, "replaying %s\n", entry.path().c_str());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), ++replayed;
  }
  return replayed > 0 ? 0 : 1;
}
#endif
