#include "time_packs.h"

#include <cstdio>

#include "dif_packs.h"

namespace ozmira::frame_export {
namespace {

constexpr uint8_t kTimecodePack = 0x13;
constexpr uint8_t kVideoDatePack = 0x62, kVideoTimePack = 0x63;  // subcode and VAUX
constexpr uint8_t kAudioDatePack = 0x52, kAudioTimePack = 0x53;  // AAUX
constexpr int kPalFramesPerSecond = 25;
constexpr int kCenturyPivot = 69;  // as POSIX reads two-digit years

// A BCD field: units in the low nibble, tens in the bits of `tens_mask`
// above it; -1 when a digit is not decimal or the value reaches `limit`.
int bcd(uint8_t byte, uint8_t tens_mask, int limit) {
  const int units = byte & 0x0f, tens = (byte >> 4) & tens_mask;
  if (units > 9 || tens > 9) return -1;
  const int value = tens * 10 + units;
  return value < limit ? value : -1;
}

// The first of the date (or time) packs in the areas where they are kept.
const uint8_t *find_dated_pack(const uint8_t *block, uint8_t video_id, uint8_t audio_id) {
  if (const uint8_t *pack = find_pack(block, PackArea::subcode, video_id)) return pack;
  if (const uint8_t *pack = find_pack(block, PackArea::vaux, video_id)) return pack;
  return find_pack(block, PackArea::aaux, audio_id);
}

}  // namespace

std::optional<Timecode> read_timecode(const uint8_t *block) {
  const uint8_t *pack = find_pack(block, PackArea::subcode, kTimecodePack);
  if (pack == nullptr) return std::nullopt;
  const Timecode t{bcd(pack[4], 0x3, 24), bcd(pack[3], 0x7, 60), bcd(pack[2], 0x7, 60),
                   bcd(pack[1], 0x3, kPalFramesPerSecond)};
  if (t.hours < 0 || t.minutes < 0 || t.seconds < 0 || t.frames < 0) return std::nullopt;
  return t;
}

std::optional<RecordingDate> read_recording_date(const uint8_t *block) {
  const uint8_t *pack = find_dated_pack(block, kVideoDatePack, kAudioDatePack);
  if (pack == nullptr) return std::nullopt;
  const int day = bcd(pack[2], 0x3, 32), month = bcd(pack[3], 0x1, 13), year = bcd(pack[4], 0xf, 100);
  if (day < 1 || month < 1 || year < 0) return std::nullopt;
  return RecordingDate{year + (year < kCenturyPivot ? 2000 : 1900), month, day};
}

std::optional<RecordingTime> read_recording_time(const uint8_t *block) {
  const uint8_t *pack = find_dated_pack(block, kVideoTimePack, kAudioTimePack);
  if (pack == nullptr) return std::nullopt;
  const RecordingTime t{bcd(pack[4], 0x3, 24), bcd(pack[3], 0x7, 60), bcd(pack[2], 0x7, 60)};
  if (t.hours < 0 || t.minutes < 0 || t.seconds < 0) return std::nullopt;
  return t;
}

std::string timecode_text(const Timecode &t) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", t.hours, t.minutes, t.seconds, t.frames);
  return text;
}

std::string date_text(const RecordingDate &d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
  return text;
}

std::string time_text(const RecordingTime &t) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hours, t.minutes, t.seconds);
  return text;
}

}  // namespace ozmira::frame_export
