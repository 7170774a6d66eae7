// The pictures the tool can make of a frame, each drawn by dvreadformat.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ozmira::frame_export {

enum class PictureKind {
  full,   // 720 x 576 RGB at full detail
  dc,     // 720 x 576 RGB from DC coefficients only
  half,   // 360 x 288 RGB
  thumb,  // 92 x 72 RGB, 4 x 2 pixels per macroblock
  luma,   // 720 x 576 luminance bytes
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

// Draws the 144000-byte 625/50 frame block into `picture`, made by
// make_picture(kind), at full detail (DC coefficients only for dc). False
// when dvreadformat refuses, after its line.
bool decode_picture(const uint8_t *block, PictureKind kind, Picture &picture);

// The segments whose codes were damaged, by a parse of every code that draws
// nothing (a whole decode into `scratch` for a 4:1:1 frame, which the row
// formats do not take); -1 when the frame does not decode.
int count_damaged_segments(const uint8_t *block, int sampling, std::vector<uint8_t> &scratch);

}  // namespace ozmira::frame_export
