// A picture as a PNG image in memory: 8-bit RGB for the colour pictures (the
// 0 byte of R G B 0 pixels is dropped), 8-bit greyscale for luminance, with a
// pHYs chunk giving the pixel aspect ratio.
//
// Every row is filtered with PNG's Sub filter and the whole image compressed
// by libdeflate in one call. Measured on a clip of fine detail, Sub alone
// gave smaller files than None, Up, Average, Paeth and per-row choices by
// either usual heuristic, and libdeflate about twice zlib's speed at the
// same size (docs/BENCHMARKS.md, "Exporting frames", has the figures).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pictures.h"

struct libdeflate_compressor;

namespace ozmira::frame_export {

// The shape of one displayed pixel, as pHYs states it (unit unknown).
struct PixelAspect {
  uint32_t across = 1, down = 1;
};

// One per thread: it keeps its compressor and scratch rows between images.
class PngEncoder {
 public:
  PngEncoder();
  ~PngEncoder();
  PngEncoder(const PngEncoder &) = delete;
  PngEncoder &operator=(const PngEncoder &) = delete;

  // Replaces `png` with the whole file. False with a message when memory runs out.
  bool encode(const Picture &picture, PixelAspect aspect, std::vector<uint8_t> &png, std::string &error);

 private:
  libdeflate_compressor *compressor_;
  std::vector<uint8_t> filtered_;
};

}  // namespace ozmira::frame_export
