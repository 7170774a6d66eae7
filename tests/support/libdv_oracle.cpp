#include "libdv_oracle.h"

#include <stdexcept>

namespace ozmira::test {

LibdvDecoder::LibdvDecoder() : decoder_(dv_decoder_new(0, 0, 0)) {
  if (decoder_ == nullptr) throw std::runtime_error("dv_decoder_new failed");
}

LibdvDecoder::~LibdvDecoder() { dv_decoder_free(decoder_); }

int LibdvDecoder::parse(const uint8_t *frame) { return dv_parse_header(decoder_, frame); }

void LibdvDecoder::decode(const uint8_t *frame, ::dv_color_space_t format, unsigned quality, uint8_t *image,
                          int pitch) {
  if (parse(frame) < 0) throw std::runtime_error("oracle: header does not parse");
  decoder_->quality = quality;
  decoder_->prev_frame_decoded = 0;
  uint8_t *pixels[3] = {image, nullptr, nullptr};
  int pitches[3] = {pitch, 0, 0};
  dv_decode_full_frame(decoder_, frame, format, pixels, pitches);
}

std::vector<uint8_t> LibdvDecoder::rgb(const uint8_t *frame, unsigned quality) {
  parse(frame);
  std::vector<uint8_t> image(static_cast<size_t>(width()) * height() * 3);
  decode(frame, e_dv_color_rgb, quality, image.data(), width() * 3);
  return image;
}

std::vector<uint8_t> LibdvDecoder::yuy2(const uint8_t *frame) {
  parse(frame);
  std::vector<uint8_t> image(static_cast<size_t>(width()) * height() * 2);
  decode(frame, e_dv_color_yuv, 5, image.data(), width() * 2);
  return image;
}

}  // namespace ozmira::test
