#include "audio_source_pack.h"

#include "dif_packs.h"

namespace ozmira::frame_export {
namespace {

constexpr uint8_t kAudioSourcePack = 0x50;
constexpr int kSystemByte = 3, kFormatByte = 4;
constexpr uint8_t kStereoTypeMask = 0x1f;  // STYPE: how many channel pairs
constexpr int kRateShift = 3;
constexpr uint8_t kRateMask = 0x07, kQuantisationMask = 0x07;
constexpr int kRates[] = {48000, 44100, 32000};     // SMP codes 0-2
constexpr int kQuantisations[] = {16, 12, 20};      // QU codes 0-2
constexpr int kPairsByStereoType[] = {1, 0, 2, 4};  // STYPE codes 0-3; 1 is reserved
constexpr int kRate32k = 32000, kQuantisation12 = 12;

template <size_t N>
int code_value(const int (&table)[N], unsigned code) {
  return code < N ? table[code] : 0;
}

}  // namespace

std::optional<AudioSource> read_audio_source(const uint8_t *block) {
  const uint8_t *pack = find_pack(block, PackArea::aaux, kAudioSourcePack);
  if (pack == nullptr) return std::nullopt;
  AudioSource source{};
  source.rate = code_value(kRates, (pack[kFormatByte] >> kRateShift) & kRateMask);
  source.quantisation = code_value(kQuantisations, pack[kFormatByte] & kQuantisationMask);
  int pairs = code_value(kPairsByStereoType, pack[kSystemByte] & kStereoTypeMask);
  // The 12-bit 32 kHz mode records two pairs in the room of one 16-bit pair.
  if (pairs == 1 && source.rate == kRate32k && source.quantisation == kQuantisation12) pairs = 2;
  source.channels = pairs * 2;
  return source;
}

}  // namespace ozmira::frame_export
