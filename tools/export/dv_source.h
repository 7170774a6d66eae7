// A raw PAL DV file opened through dvopen, and its frames read by number
// (dvreadraw). dvlib's own lines go through dvsetlog: held back for the
// tool's messages, or shown as they come with --verbose.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dvlib.h"

namespace ozmira::frame_export {

class DvSource {
 public:
  // Opens `path` with dvopen. On failure returns null and a message that
  // carries dvopen's own lines, which say why.
  static std::unique_ptr<DvSource> open(const std::string &path, bool show_library_lines, std::string &error);
  ~DvSource();
  DvSource(const DvSource &) = delete;
  DvSource &operator=(const DvSource &) = delete;

  // The record dvopen filled: attributes of frame 0 and the frame count.
  const dvfile &attributes() const { return *record_; }
  // Bytes after the last whole frame, which no frame number reaches.
  int64_t trailing_bytes() const { return trailing_bytes_; }

  // True when `path` names the file being read: the same device and inode,
  // whatever the links (symbolic or hard) that lead there.
  bool is_this_file(const std::string &path) const;

  // Reads frame `frame` (from 0) into block(). False with a message when it
  // cannot be read whole.
  bool read_frame(int frame, std::string &error);
  const uint8_t *block() const { return block_.data(); }
  // Reads frame `frame` into the caller's block of DVLIB_FRAME_BYTES by its
  // position in the file, calling nothing of dvlib: safe on another thread
  // while dvlib decodes. False when it cannot be read whole.
  bool read_frame_at(int frame, uint8_t *block) const;

 private:
  DvSource(dvfile *record, int64_t trailing_bytes);

  dvfile *record_;
  int64_t trailing_bytes_;
  std::vector<uint8_t> block_;
};

// What read_frame and FrameReader say of a frame that cannot be read.
extern const char kCannotReadWhole[];

// The lines dvlib has written since the last call, held back unless shown.
std::string take_library_lines();

}  // namespace ozmira::frame_export
