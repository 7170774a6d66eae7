#include "pictures.h"

#include "dvlib.h"

namespace ozmira::frame_export {
namespace {

constexpr int kSampling420 = 2;  // dvfile.code of a 4:2:0 frame

struct Shape {
  int width, height;
  PixelLayout layout;
  dvlib_format format;
};

Shape shape_of(PictureKind kind) {
  switch (kind) {
    case PictureKind::half:
      return {DVLIB_HALF_WIDTH, DVLIB_HALF_HEIGHT, PixelLayout::rgb0, DVLIB_FORMAT_HALF_RGB0};
    case PictureKind::thumb:
      return {DVLIB_THUMB_WIDTH, DVLIB_THUMB_HEIGHT, PixelLayout::rgb0, DVLIB_FORMAT_THUMB_RGB0};
    case PictureKind::luma:
      return {DVLIB_FULL_WIDTH, DVLIB_FULL_HEIGHT, PixelLayout::grey, DVLIB_FORMAT_LUMA};
    case PictureKind::none: return {0, 0, PixelLayout::rgb, DVLIB_FORMAT_RGB};
    case PictureKind::full:
    case PictureKind::dc: break;
  }
  return {DVLIB_FULL_WIDTH, DVLIB_FULL_HEIGHT, PixelLayout::rgb, DVLIB_FORMAT_RGB};
}

}  // namespace

std::optional<PictureKind> picture_kind_named(std::string_view name) {
  if (name == "full") return PictureKind::full;
  if (name == "dc") return PictureKind::dc;
  if (name == "half") return PictureKind::half;
  if (name == "thumb") return PictureKind::thumb;
  if (name == "luma") return PictureKind::luma;
  if (name == "none") return PictureKind::none;
  return std::nullopt;
}

bool needs_420_sampling(PictureKind kind) {
  return kind == PictureKind::half || kind == PictureKind::thumb || kind == PictureKind::luma;
}

int Picture::bytes_per_row() const {
  switch (layout) {
    case PixelLayout::rgb: return width * 3;
    case PixelLayout::rgb0: return width * 4;
    case PixelLayout::grey: break;
  }
  return width;
}

Picture make_picture(PictureKind kind) {
  const Shape shape = shape_of(kind);
  Picture picture;
  picture.width = shape.width;
  picture.height = shape.height;
  picture.layout = shape.layout;
  const size_t row_bytes = static_cast<size_t>(picture.bytes_per_row());
  picture.bytes.assign(row_bytes * static_cast<size_t>(shape.height), 0);
  for (int r = 0; r < shape.height; ++r) picture.rows.push_back(picture.bytes.data() + row_bytes * r);
  return picture;
}

bool decode_picture(const uint8_t *block, PictureKind kind, Picture &picture) {
  int pitch = picture.bytes_per_row();
  const int request = kind == PictureKind::dc ? DVLIB_REQUEST_DC : DVLIB_REQUEST_FULL;
  return dvreadformat(block, shape_of(kind).format, picture.rows.data(), &pitch, request) == 1;
}

int count_damaged_segments(const uint8_t *block, int sampling, std::vector<uint8_t> &scratch) {
  int pitch = DVLIB_FULL_WIDTH * 3;
  unsigned char *pixels[1] = {nullptr};
  dvlib_format format = DVLIB_FORMAT_HALF_INT;  // draws nothing: only the codes are read
  if (sampling != kSampling420) {
    scratch.resize(static_cast<size_t>(pitch) * DVLIB_FULL_HEIGHT);
    pixels[0] = scratch.data();
    format = DVLIB_FORMAT_RGB;
  }
  if (dvreadformat(block, format, pixels, &pitch, DVLIB_REQUEST_FULL) != 1) return -1;
  return dvdamagedsegments();
}

}  // namespace ozmira::frame_export
