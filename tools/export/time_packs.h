// The times a frame records, in binary-coded decimal packs: its timecode
// (subcode pack 0x13) and the date and time it was recorded (packs 0x62 and
// 0x63 in subcode or VAUX, 0x52 and 0x53 in AAUX, looked for in that order).
// A pack that is missing, not recorded (0xff) or holds a digit or value out
// of range reads as absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ozmira::frame_export {

struct Timecode {
  int hours, minutes, seconds, frames;
};
struct RecordingDate {
  int year, month, day;  // two-digit years: 69-99 are 1969-1999, 00-68 are 2000-2068
};
struct RecordingTime {
  int hours, minutes, seconds;
};

std::optional<Timecode> read_timecode(const uint8_t *block);
std::optional<RecordingDate> read_recording_date(const uint8_t *block);
std::optional<RecordingTime> read_recording_time(const uint8_t *block);

std::string timecode_text(const Timecode &t);   // HH:MM:SS:FF
std::string date_text(const RecordingDate &d);  // YYYY-MM-DD
std::string time_text(const RecordingTime &t);  // HH:MM:SS

}  // namespace ozmira::frame_export
