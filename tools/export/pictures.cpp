#include "pictures.h"

#include <libdv/dv.h>

#include "dvlib.h"
#include "frame_decoder.h"

namespace ozmira::frame_export {
namespace {

constexpr int kPalWidth = 720, kPalHeight = 576;
constexpr int kThumbWidth = 92,
              kThumbHeight = 72;  // 4 x 2 per macroblock; the last column's patch ends at 91
constexpr int kSampling420 = 2;   // dvfile.code of a 4:2:0 frame
constexpr int kRequestFull = 2, kRequestDc = 16;
constexpr unsigned kQualityFull = 5;  // colour, DC and all AC coefficients

struct Shape {
  int width, height;
  PixelLayout layout;
};

Shape shape_of(PictureKind kind) {
  switch (kind) {
    case PictureKind::half: return {kPalWidth / 2, kPalHeight / 2, PixelLayout::rgb0};
    case PictureKind::thumb: return {kThumbWidth, kThumbHeight, PixelLayout::rgb0};
    case PictureKind::luma: return {kPalWidth, kPalHeight, PixelLayout::grey};
    case PictureKind::none: return {0, 0, PixelLayout::rgb};
    case PictureKind::full:
    case PictureKind::dc: break;
  }
  return {kPalWidth, kPalHeight, PixelLayout::rgb};
}

ozmira::ColorSpace extended_format(PictureKind kind) {
  switch (kind) {
    case PictureKind::half: return ozmira::b_dv_color_hRGB;
    case PictureKind::thumb: return ozmira::b_dv_color_tRGB;
    default: return ozmira::b_dv_color_L;
  }
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

PictureDecoder::PictureDecoder(PictureKind kind) : kind_(kind) {}

PictureDecoder::~PictureDecoder() {
  if (extended_decoder_ != nullptr) dv_decoder_free(extended_decoder_);
}

bool PictureDecoder::decode(const uint8_t *block, Picture &picture, std::string &error) {
  dvfile attributes{};
  if (dvstatus(block, &attributes) == -1) {
    error = "its header does not parse (damaged, or not DV)";
    return false;
  }
  if (attributes.x_size != kPalWidth || attributes.y_size != kPalHeight) {
    error = "it is " + std::to_string(attributes.x_size) + " x " + std::to_string(attributes.y_size) +
            ", not a 720 x 576 PAL frame";
    return false;
  }
  if (needs_420_sampling(kind_) && attributes.code != kSampling420) {
    error = "it is a 4:1:1 frame; the half, thumb and luma pictures need 4:2:0 frames (full and dc work)";
    return false;
  }

  if (kind_ == PictureKind::full || kind_ == PictureKind::dc) {
    const int request = kind_ == PictureKind::full ? kRequestFull : kRequestDc;
    if (dvreadblock(block, picture.bytes.data(), request, 0) == 1) return true;
    error = "dvreadblock could not decode it";
    return false;
  }

  // The extended formats have no dvlib call of their own: the frame decoder
  // draws them, here with a decoder of the tool's own so that dvlib's stays
  // exactly as dvlib leaves it.
  if (extended_decoder_ == nullptr) extended_decoder_ = dv_decoder_new(0, 0, 0);
  if (extended_decoder_ == nullptr) {
    error = "libdv could not make a decoder";
    return false;
  }
  if (dv_parse_header(extended_decoder_, block) == -1) {
    error = "its header does not parse (damaged, or not DV)";
    return false;
  }
  extended_decoder_->quality = kQualityFull;
  extended_decoder_->prev_frame_decoded = 0;
  int pitches[1] = {picture.bytes_per_row()};
  ozmira::DecodeFrame(extended_decoder_, block, extended_format(kind_), picture.rows.data(), pitches);
  return true;
}

}  // namespace ozmira::frame_export
