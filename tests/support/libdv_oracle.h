// libdv's own decoder, the oracle the tests compare against.
#pragma once

#include <cstdint>
#include <vector>

#include <libdv/dv.h>

namespace ozmira::test {

class LibdvDecoder {
 public:
  LibdvDecoder();
  LibdvDecoder(const LibdvDecoder &) = delete;
  LibdvDecoder &operator=(const LibdvDecoder &) = delete;
  ~LibdvDecoder();

  dv_decoder_t *get() { return decoder_; }
  // dv_parse_header's result: -1 when the header does not parse.
  int parse(const uint8_t *frame);
  int width() const { return decoder_->width; }
  int height() const { return decoder_->height; }

  // libdv's dv_decode_full_frame into one packed image of rows `pitch` apart.
  void decode(const uint8_t *frame, ::dv_color_space_t format, unsigned quality, uint8_t *image, int pitch);
  // Packed RGB of the whole frame, rows width x 3 bytes apart.
  std::vector<uint8_t> rgb(const uint8_t *frame, unsigned quality = 5);
  // YUY2 of the whole frame, rows width x 2 bytes apart.
  std::vector<uint8_t> yuy2(const uint8_t *frame);

 private:
  dv_decoder_t *decoder_;
};

}  // namespace ozmira::test
