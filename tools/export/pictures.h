// The pictures the tool can make of a frame, and their decoding through
// dvlib (full and DC-only RGB) and the frame decoder (the extended formats).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <libdv/dv_types.h>

namespace ozmira::frame_export {

enum class PictureKind {
  full,   // 720 x 576 RGB at full detail: dvreadblock request 2
  dc,     // 720 x 576 RGB from DC coefficients only: dvreadblock request 16
  half,   // 360 x 288 RGB: b_dv_color_hRGB
  thumb,  // 92 x 72 RGB, 4 x 2 pixels per macroblock: b_dv_color_tRGB
  luma,   // 720 x 576 luminance bytes: b_dv_color_L
  none,   // no image at all (for --audio alone)
};

std::optional<PictureKind> picture_kind_named(std::string_view name);
// The extended formats draw 4:2:0 frames only.
bool needs_420_sampling(PictureKind kind);

enum class PixelLayout { rgb, rgb0, grey };  // 3, 4 (R G B 0) and 1 bytes a pixel

struct Picture {
  int width = 0, height = 0;
  PixelLayout layout = PixelLayout::rgb;
  std::vector<uint8_t> bytes;  // rows back to back
  std::vector<uint8_t *> rows;

  int bytes_per_row() const;
};

// A picture of the size and layout `kind` draws, its rows set up.
Picture make_picture(PictureKind kind);

class PictureDecoder {
 public:
  explicit PictureDecoder(PictureKind kind);
  ~PictureDecoder();
  PictureDecoder(const PictureDecoder &) = delete;
  PictureDecoder &operator=(const PictureDecoder &) = delete;

  // Decodes the 144000-byte frame block into `picture`, made by
  // make_picture(kind). Returns false, with a message, for a header that does
  // not parse, a frame that is not 720 x 576, or a 4:1:1 frame asked for a
  // picture that needs 4:2:0. dvinit must have run.
  bool decode(const uint8_t *block, Picture &picture, std::string &error);

 private:
  PictureKind kind_;
  dv_decoder_t *extended_decoder_ = nullptr;  // made on first use
};

}  // namespace ozmira::frame_export
