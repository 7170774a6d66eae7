// Which frames of a file to take: all of them, or numbers and ranges as the
// user wrote them ("0,10-99,250-"), thinned to every n-th of those.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ozmira::frame_export {

struct FrameRange {
  int first;
  int last;               // kToLastFrame for an open range such as "250-"
  int64_t tc_first = -1;  // a range of timecodes, in frames at 25 a second, instead
  int64_t tc_last = -1;
  int recording = 0;  // a whole recording (from 1) instead
  bool by_tape() const { return tc_first >= 0 || recording > 0; }
};
inline constexpr int kToLastFrame = -1;

struct FrameSelection {
  bool all_asked = false;          // "all" was given: every frame, whatever else was listed
  std::vector<FrameRange> ranges;  // in the order written; none listed means every frame
  int every = 1;                   // keep the 1st, (1 + every)th, ... of the frames above
  bool resolved = false;           // timecodes and recordings resolved: no range left means no frame
  std::vector<int> recording_of;   // each frame's recording in the whole file (from 1), when looked up
  // Every frame of the file, in order.
  bool whole_file() const { return every == 1 && (all_asked || (ranges.empty() && !resolved)); }
};

// Parses "all" or a comma-separated list of N, A-B, A- and timecode ranges
// HH:MM:SS:FF-HH:MM:SS:FF (or one timecode), adding to what
// earlier lists chose (repeated -f options add up). Returns false with a
// message for anything else, a range running backwards, or a number too
// large for a frame number.
bool parse_frame_list(std::string_view text, FrameSelection &selection, std::string &error);

// -r/--recording: a comma-separated list of recording numbers (from 1).
bool parse_recording_list(std::string_view text, FrameSelection &selection, std::string &error);

// Replaces each range given by timecode or recording with the runs of frames
// it stands for, in file order. `timecode_of(n)` is frame n's timecode in
// frames (-1 when it has none) and `recording_of(n)` its recording.
void resolve_tape_ranges(FrameSelection &selection, int num_frames, const std::vector<int64_t> &timecodes,
                         const std::vector<int> &recordings);

// Walks the chosen frames of a file of `num_frames` frames in order.
class ChosenFrames {
 public:
  ChosenFrames(const FrameSelection &selection, int num_frames);

  // A message naming the first frame the file does not have, or "" when
  // every frame asked for exists (an empty file has none).
  std::string out_of_range() const;
  // How many frames next() will give.
  int64_t count() const;
  // The next chosen frame; false when there are no more.
  bool next(int &frame);

 private:
  std::vector<FrameRange> ranges_;  // open ends resolved
  int every_;
  int num_frames_;
  size_t range_ = 0;           // the range that holds the next chosen frame
  int64_t range_start_ = 0;    // position of ranges_[range_].first among all listed frames
  int64_t next_position_ = 0;  // position of the next chosen frame among them
};

}  // namespace ozmira::frame_export
