// The chosen frames of a DV file read ahead, in order, on a thread of their
// own: a long run of frames that the export only looks at (their facts, their
// damage, a split) would otherwise wait on each frame's copy from the file
// while the decode threads stand idle. The reads take the file's descriptor
// by position and call nothing of dvlib, whose calls must not overlap. Where
// no thread can be made, next() reads each frame itself.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dv_source.h"
#include "frame_selection.h"

namespace ozmira::frame_export {

class FrameReader {
 public:
  // Starts reading the frames `chosen` gives (a copy: `chosen` is left as
  // it is) from `source`.
  FrameReader(const DvSource &source, ChosenFrames chosen);
  // Stops the reads, though frames are left unread.
  ~FrameReader();
  FrameReader(const FrameReader &) = delete;
  FrameReader &operator=(const FrameReader &) = delete;

  // The next chosen frame and its bytes, which stay valid until the next
  // call; false when no frame is left, or when `frame` could not be read
  // whole (then `error` says so, and no later frame is given).
  bool next(int &frame, const uint8_t *&block, std::string &error);

 private:
  static constexpr int kSlots = 4;  // the frame in use, and three read ahead
  struct Slot {
    std::vector<uint8_t> bytes;
    int frame = 0;
    bool read = false;  // whole; otherwise the reads stopped at this frame
  };

  void read_ahead();

  const DvSource &source_;
  ChosenFrames chosen_;
  Slot slots_[kSlots];
  std::mutex lock_;
  std::condition_variable changed_;
  int64_t filled_ = 0;  // slots filled since the start, in order
  int64_t taken_ = 0;   // slots handed out by next(), the last still in use
  bool ended_ = false;  // no more slots will be filled
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace ozmira::frame_export
