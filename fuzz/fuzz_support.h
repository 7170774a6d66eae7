// Shared by the fuzz targets and the tests. With OZMIRA_REPLAY a target replays a folder.
#pragma once

#include <sys/mman.h>
#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "libdv_internal.h"
#include "segment_parser.h"

namespace ozmira::fuzz {

inline constexpr size_t kPalFrameBytes = 144000, kNtscFrameBytes = 120000;
inline const size_t kPage = size_t(sysconf(_SC_PAGESIZE));

struct Guarded {
  explicit Guarded(size_t size) : size(size), span((size + kPage - 1) / kPage * kPage + kPage) {
    base = static_cast<uint8_t *>(
        mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base == MAP_FAILED || mprotect(base + span - kPage, kPage, PROT_NONE) != 0) std::abort();
  }
  ~Guarded() { munmap(base, span); }
  Guarded(const Guarded &) = delete;
  uint8_t *data() const { return base + span - kPage - size; }
  const uint8_t *fill(const uint8_t *in, size_t n) {
    n = std::min(n, size);
    if (n > 0) std::memcpy(data(), in, n);
    std::memset(data() + n, 0, size - n);
    return data();
  }
  size_t size, span;
  uint8_t *base;
};
inline int rows_of(int f) { return f == 6 || f == 7 || f == 8 ? 72 : f == 11 ? 288 : 576; }
inline int row_bytes_of(int f) {
  const int bytes[] = {1440, 2160, 2880, 2880, 720, 2880, 368, 92, 368, 2880, 2880, 1440};
  return f >= 0 && f < 12 ? bytes[f] : 2880;
}
struct Image {
  Image(int rows, int row_bytes, uint8_t fill = 0xa5) : mem(size_t(rows) * row_bytes), pitch(row_bytes) {
    std::memset(mem.data(), fill, mem.size);
    for (int r = 0; r < rows; ++r) row.push_back(mem.data() + size_t(r) * row_bytes);
  }
  explicit Image(int format) : Image(rows_of(format), row_bytes_of(format)) {}
  uint8_t **pixels() { return row.data(); }
  bool operator==(const Image &o) const {
    return mem.size == o.mem.size && !memcmp(mem.data(), o.mem.data(), mem.size);
  }
  Guarded mem;
  int pitch;
  std::vector<uint8_t *> row;
};
// libdv's segment parser, on a copy with zeros behind it.
struct LibdvParser {
  LibdvParser() {
    dv_init(0, 0);
    seg.bs = _dv_bitstream_init();
  }
  ~LibdvParser() { std::free(seg.bs); }
  dv_videosegment_t seg{};
  uint8_t copy[kSegmentBytes + 8]{};
};
// "" when both builds of our parse agree and agree with libdv's, or are not `intact`; else where they
// differ.
inline std::string parse_difference(LibdvParser &libdv, const uint8_t *segment, unsigned quality,
                                    bool &intact) {
  dv_macroblock_t ours[kMacroblocksPerSegment]{}, portable[kMacroblocksPerSegment]{}, *theirs = libdv.seg.mb;
  uint32_t ac_free = 0, portable_ac_free = 0;
  intact = ParseVideoSegment(segment, quality, ours, ParserBuild::kFastest, &ac_free);
  if (ParseVideoSegment(segment, quality, portable, ParserBuild::kPortable, &portable_ac_free) != intact ||
      std::memcmp(ours, portable, sizeof ours) != 0 || ac_free != portable_ac_free)
    return "the parser's builds differ";
  for (int i = 0; i < kMacroblocksPerSegment * 6; ++i) {
    const dv_coeff_t *coeffs = ours[i / 6].b[i % 6].coeffs;
    if ((ac_free >> i & 1) && std::any_of(coeffs + 1, coeffs + 64, [](dv_coeff_t c) { return c != 0; }))
      return "block " + std::to_string(i) + " has AC coefficients";
  }
  if (SegmentIntact(segment, quality) != intact ||
      SegmentIntact(segment, quality, ParserBuild::kPortable) != intact)
    return "SegmentIntact differs";
  if (!intact) return "";
  std::memcpy(libdv.copy, segment, kSegmentBytes);
  for (int m = 0; m < kMacroblocksPerSegment; ++m)
    for (dv_block_t *b : {&theirs[m].b[4], &theirs[m].b[5]}) {
      b->eob = 1;
      b->offset = b->end;
    }
  _dv_bitstream_new_buffer(libdv.seg.bs, libdv.copy, kSegmentBytes);
  dv_parse_video_segment(&libdv.seg, quality);
  for (int m = 0; m < kMacroblocksPerSegment; ++m)
    for (int b = 0; b < (quality & DV_QUALITY_COLOR ? 6 : 4); ++b) {
      const dv_block_t &o = ours[m].b[b], &t = theirs[m].b[b];
      if (ours[m].qno != theirs[m].qno || o.eob != t.eob || o.dct_mode != t.dct_mode ||
          o.class_no != t.class_no || std::memcmp(o.coeffs, t.coeffs, sizeof o.coeffs))
        return "quality " + std::to_string(quality) + ", macroblock " + std::to_string(m) + ", block " +
               std::to_string(b);
    }
  return "";
}
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
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++replayed;
  }
  return replayed > 0 ? 0 : 1;
}
#endif
