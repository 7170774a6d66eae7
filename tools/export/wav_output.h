// --audio: the sound of the chosen frames, in order, as one 16-bit PCM WAV
// file at the recorded rate, put in place only when whole (atomic_file.h).
// A frame without sound that decodes, or a frame that does not decode at
// all, gives a 625/50 frame's length of silence, so the sound stays in step
// with the frames; the rate and channels must stay the same throughout.
#pragma once

#include <cstdint>
#include <string>

#include "atomic_file.h"

namespace ozmira::frame_export {

struct SoundFormat {
  int rate = 0;  // samples a second per channel; 0 before any
  int channels = 0;
};

class WavWriter {
 public:
  // Starts the file at `path`. False with a message when it cannot be made.
  bool open(const std::string &path, std::string &error);
  // The next frame's audio: `samples` per channel of `format`, interleaved;
  // 0 samples for a frame without audio. False with a message when the
  // format changed or the file cannot be written.
  bool add_frame(const int16_t *pcm, int samples, const SoundFormat &format, std::string &error);
  // Silence for a frame that does not decode (not counted in silent_frames).
  bool add_undecoded_frame(std::string &error);
  // Completes the header and puts the file in place. False with a message,
  // and nothing left, when no frame had audio or the file cannot be written.
  bool finish(std::string &error);
  int64_t silent_frames() const { return silent_frames_; }

 private:
  bool write_samples(const int16_t *pcm, size_t values, std::string &error);
  bool write_silence(int64_t frames, std::string &error);

  AtomicFile file_;
  std::string path_;
  SoundFormat format_;  // rate 0 until the first frame with audio
  int64_t data_bytes_ = 0;
  int64_t silent_frames_ = 0, silence_owed_ = 0;  // owed: silent frames before the format was known
};

}  // namespace ozmira::frame_export
