#include "frame_facts.h"

#include <cstdio>
#include <ctime>
#include <numeric>

namespace ozmira::frame_export {
namespace {

constexpr int kPalHeight = 576;
constexpr int kFramesPerSecond = 25;
constexpr int kAspectWide = 1, kAspectNarrow = 0;
constexpr int kCentury = 100, kFirstTwoDigitYear = 69;  // 69-99 are 1969-1999, 00-68 are 2000-2068
constexpr PixelAspect kPal43{16, 15}, kPal169{64, 45};
// 720 x 576 shown in 92 x 72: each thumbnail pixel is (720 / 92) / (576 / 72) = 45 / 46 as wide.
constexpr uint32_t kThumbAcross = 45, kThumbDown = 46;

int full_year(int year) {
  if (year >= kCentury) return year;
  return year >= kFirstTwoDigitYear ? 1900 + year : 2000 + year;
}

// Seconds since 1970 of the recording date and time, or -1 when either is not recorded.
int64_t recorded_seconds(const dvframeinfo &info) {
  if (info.rec_year < 0 || info.rec_hour < 0) return -1;
  std::tm when{};
  when.tm_year = full_year(info.rec_year) - 1900;
  when.tm_mon = info.rec_month - 1;
  when.tm_mday = info.rec_day;
  when.tm_hour = info.rec_hour;
  when.tm_min = info.rec_minute;
  when.tm_sec = info.rec_second;
  return static_cast<int64_t>(timegm(&when));
}

}  // namespace

FrameFacts read_facts(const uint8_t *block) {
  FrameFacts facts;
  facts.info.size = sizeof facts.info;
  facts.parsed = dvreadinfo(block, &facts.info) == 1;
  return facts;
}

const char *undecodable_cause(const FrameFacts &facts) {
  if (facts.info.dropout == 1) return "dropout";
  if (!facts.parsed) return "header does not parse";
  if (facts.info.y_size != kPalHeight) return "another system";
  return nullptr;
}

std::optional<std::string> timecode_text(const dvframeinfo &i) {
  if (i.tc_hours < 0) return std::nullopt;
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", i.tc_hours, i.tc_minutes, i.tc_seconds,
                i.tc_frames);
  return text;
}

std::optional<std::string> date_text(const dvframeinfo &i) {
  if (i.rec_year < 0) return std::nullopt;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", full_year(i.rec_year), i.rec_month, i.rec_day);
  return text;
}

std::optional<std::string> time_text(const dvframeinfo &i) {
  if (i.rec_hour < 0) return std::nullopt;
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", i.rec_hour, i.rec_minute, i.rec_second);
  return text;
}

const char *aspect_text(int aspect) {
  if (aspect == kAspectNarrow) return "4:3";
  if (aspect == kAspectWide) return "16:9";
  return "not stated";
}

int64_t timecode_frames(const dvframeinfo &i) {
  if (i.tc_hours < 0) return -1;
  return ((int64_t{i.tc_hours} * 60 + i.tc_minutes) * 60 + i.tc_seconds) * kFramesPerSecond + i.tc_frames;
}

const char *continuity_break(const FrameFacts &before, const FrameFacts &frame, int distance) {
  const int64_t was = recorded_seconds(before.info), now = recorded_seconds(frame.info);
  if (was >= 0 && now >= 0 && (now < was || now > was + 1 + distance / kFramesPerSecond))
    return "new recording";
  const int64_t last = timecode_frames(before.info), next = timecode_frames(frame.info);
  if (last < 0 || next < 0) return nullptr;
  constexpr int64_t kDay = int64_t{24} * 60 * 60 * kFramesPerSecond;
  if (next == (last + distance) % kDay) return nullptr;
  if (next == last) return "timecode repeat";
  return next < last ? "timecode backwards" : "timecode gap";
}

PixelAspect pixel_aspect(int aspect, PictureKind kind) {
  PixelAspect ratio = aspect == kAspectWide ? kPal169 : kPal43;
  if (kind != PictureKind::thumb) return ratio;
  ratio.across *= kThumbAcross;
  ratio.down *= kThumbDown;
  const uint32_t common = std::gcd(ratio.across, ratio.down);
  return {ratio.across / common, ratio.down / common};
}

}  // namespace ozmira::frame_export
