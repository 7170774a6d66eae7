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

bool parse_item(std::string_view item, FrameRange &range, std::string &error) {
  const size_t dash = item.find('-');
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

ChosenFrames::ChosenFrames(const FrameSelection &selection, int num_frames)
    : every_(selection.every < 1 ? 1 : selection.every), num_frames_(num_frames) {
  if (selection.all_asked || selection.ranges.empty()) {
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
