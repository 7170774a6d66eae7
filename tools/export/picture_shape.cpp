#include "picture_shape.h"

#include <numeric>

#include "dif_packs.h"

namespace ozmira::frame_export {
namespace {

constexpr uint8_t kSourceControlPack = 0x61;
constexpr int kDisplayByte = 2, kHeaderAptByte = 4;
constexpr uint8_t kDisplayMask = 0x07, kAptMask = 0x07;
constexpr uint8_t kDisplayWide = 0x02, kDisplayWideIfApt0 = 0x07;  // as FFmpeg reads the DISP field
constexpr PixelAspect kPal43{16, 15}, kPal169{64, 45};
// 720 x 576 shown in 92 x 72: each thumbnail pixel is (720 / 92) / (576 / 72) = 45 / 46 as wide.
constexpr uint32_t kThumbAcross = 45, kThumbDown = 46;

}  // namespace

FrameAspect read_frame_aspect(const uint8_t *block) {
  const uint8_t *pack = find_pack(block, PackArea::vaux, kSourceControlPack);
  if (pack == nullptr) return FrameAspect::not_stated;
  const uint8_t display = pack[kDisplayByte] & kDisplayMask;
  const uint8_t apt = block[kHeaderAptByte] & kAptMask;  // the header block's application id
  const bool wide = display == kDisplayWide || (apt == 0 && display == kDisplayWideIfApt0);
  return wide ? FrameAspect::sixteen_nine : FrameAspect::four_three;
}

const char *aspect_text(FrameAspect aspect) {
  switch (aspect) {
    case FrameAspect::four_three: return "4:3";
    case FrameAspect::sixteen_nine: return "16:9";
    case FrameAspect::not_stated: break;
  }
  return "not stated";
}

PixelAspect pixel_aspect(FrameAspect aspect, PictureKind kind) {
  PixelAspect ratio = aspect == FrameAspect::sixteen_nine ? kPal169 : kPal43;
  if (kind != PictureKind::thumb) return ratio;
  ratio.across *= kThumbAcross;
  ratio.down *= kThumbDown;
  const uint32_t common = std::gcd(ratio.across, ratio.down);
  return {ratio.across / common, ratio.down / common};
}

}  // namespace ozmira::frame_export
