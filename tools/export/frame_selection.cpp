#include "frame_selection.h"

#include <charconv>
#include <limits>

namespace ozmira::frame_export {
namespace {

enum class NumberRead { ok, malformed, too_large };

NumberRead parse_frame_number(std::string_view text, int &number) {
  if (text.empty()) return NumberRead::malformed;
  const char *end = text.data() + text.size();
  auto [stop, status] = std::from_chars(text.data(), end, number);
  if (stop != end || text[0] == '-') return NumberRead::malformed;
  if (status == std::errc::result_out_of_range) return NumberRead::too_large;
  return status == std::errc() ? NumberRead::ok : NumberRead::malformed;
}

// "'<item>'" and a reason. (Built by appending: GCC 12 warns falsely about
// operator+ on a temporary string at -O3.)
std::string quoted(std::string_view item, std::string_view reason) {
  std::string text = "'";
  text.append(item).append("'").append(reason);
  return text;
}

// One number of an item; false with a message that quotes the item.
bool read_number(std::string_view item, std::string_view text, int &number, std::string &error) {
  switch (parse_frame_number(text, number)) {
    case NumberRead::ok: return true;
    case NumberRead::too_large:
      error = quoted(text, " is too large for a frame number (the largest is ") +
              std::to_string(std::numeric_limits<int>::max()) + ")";
      return false;
    case NumberRead::malformed: break;
  }
  error = quoted(item, " is not a frame number or range (N, A-B or A-)");
  return false;
}

// HH:MM:SS:FF as frames at 25 a second; -1 when it is not one.
int64_t parse_timecode(std::string_view text) {
  constexpr int kLimits[] = {24, 60, 60, 25};
  int64_t frames = 0;
  for (int part = 0; part < 4; ++part) {
    const std::string_view digits = text.substr(0, 2);
    int value = 0;
    auto [stop, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.size() != 2 || status != std::errc() || stop != digits.data() + 2 || value >= kLimits[part])
      return -1;
    frames = frames * kLimits[part] + value;
    text.remove_prefix(2);
    if (part < 3 && (text.empty() || text[0] != ':')) return -1;
    if (part < 3) text.remove_prefix(1);
  }
  return text.empty() ? frames : -1;
}

bool parse_item(std::string_view item, FrameRange &range, std::string &error) {
  const size_t dash = item.find('-');
  if (item.find(':') != std::string_view::npos) {
    range.tc_first = parse_timecode(item.substr(0, dash));
    range.tc_last = dash == std::string_view::npos ? range.tc_first : parse_timecode(item.substr(dash + 1));
    if (range.tc_first >= 0 && range.tc_last >= range.tc_first) return true;
    error = quoted(item, " is not a timecode or range of them (HH:MM:SS:FF or HH:MM:SS:FF-HH:MM:SS:FF)");
    return false;
  }
  const std::string_view first = item.substr(0, dash);
  if (!read_number(item, first, range.first, error)) return false;
  if (dash == std::string_view::npos) {
    range.last = range.first;
    return true;
  }
  const std::string_view last = item.substr(dash + 1);
  if (last.empty()) {
    range.last = kToLastFrame;
    return true;
  }
  if (!read_number(item, last, range.last, error)) return false;
  if (range.last < range.first) {
    error = "the range " + quoted(item, " runs backwards");
    return false;
  }
  return true;
}

}  // namespace

bool parse_frame_list(std::string_view text, FrameSelection &selection, std::string &error) {
  if (text == "all") {
    selection.all_asked = true;
    return true;
  }
  while (true) {
    const size_t comma = text.find(',');
    FrameRange range{};
    if (!parse_item(text.substr(0, comma), range, error)) return false;
    selection.ranges.push_back(range);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

bool parse_recording_list(std::string_view text, FrameSelection &selection, std::string &error) {
  while (true) {
    const size_t comma = text.find(',');
    FrameRange range{0, 0};
    if (parse_frame_number(text.substr(0, comma), range.recording) != NumberRead::ok || range.recording < 1) {
      error = quoted(text.substr(0, comma), " is not a recording number (1 or more)");
      return false;
    }
    selection.ranges.push_back(range);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

void resolve_tape_ranges(FrameSelection &selection, int num_frames, const std::vector<int64_t> &timecodes,
                         const std::vector<int> &recordings) {
  std::vector<FrameRange> resolved;
  for (const FrameRange &range : selection.ranges) {
    if (!range.by_tape()) {
      resolved.push_back(range);
      continue;
    }
    for (int frame = 0; frame < num_frames; ++frame) {
      const bool in = range.recording > 0
                          ? recordings[frame] == range.recording
                          : timecodes[frame] >= range.tc_first && timecodes[frame] <= range.tc_last;
      if (!in) continue;
      if (!resolved.empty() && resolved.back().tc_first == -2 && resolved.back().last == frame - 1) {
        resolved.back().last = frame;
      } else {
        resolved.push_back(FrameRange{frame, frame, -2});
      }
    }
  }
  for (FrameRange &range : resolved) {
    if (range.tc_first == -2) range.tc_first = -1;
  }
  selection.ranges = resolved;
  selection.resolved = true;
}

ChosenFrames::ChosenFrames(const FrameSelection &selection, int num_frames)
    : every_(selection.every < 1 ? 1 : selection.every), num_frames_(num_frames) {
  if (selection.all_asked || (selection.ranges.empty() && !selection.resolved)) {
    if (num_frames > 0) ranges_.push_back({0, num_frames - 1});
  } else {
    for (FrameRange range : selection.ranges) {
      if (range.last == kToLastFrame)
        range.last = num_frames - 1 < range.first ? range.first : num_frames - 1;
      ranges_.push_back(range);
    }
  }
}

std::string ChosenFrames::out_of_range() const {
  for (const FrameRange &range : ranges_) {
    if (range.last >= num_frames_) {
      const int bad = range.first >= num_frames_ ? range.first : num_frames_;
      const std::string has = num_frames_ == 1 ? "1 frame (0)"
                                               : std::to_string(num_frames_) + " frames (0-" +
                                                     std::to_string(num_frames_ - 1) + ")";
      return "frame " + std::to_string(bad) + " is out of range: the file has " + has;
    }
  }
  return "";
}

int64_t ChosenFrames::count() const {
  int64_t considered = 0;
  for (const FrameRange &range : ranges_) considered += int64_t{range.last} - range.first + 1;
  return (considered + every_ - 1) / every_;
}

bool ChosenFrames::next(int &frame) {
  while (range_ < ranges_.size()) {
    const FrameRange &range = ranges_[range_];
    const int64_t size = int64_t{range.last} - range.first + 1;
    const int64_t offset = next_position_ - range_start_;
    if (offset < size) {
      frame = static_cast<int>(range.first + offset);
      next_position_ += every_;
      return true;
    }
    range_start_ += size;
    ++range_;
  }
  return false;
}

}  // namespace ozmira::frame_export
