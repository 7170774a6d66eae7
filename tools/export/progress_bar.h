// A one-line progress bar on standard error, redrawn in place, for long
// exports to a terminal: frames done, the rate so far and the time left at
// that rate. Disabled, it prints nothing at all.
#pragma once

#include <chrono>
#include <cstdint>

namespace ozmira::frame_export {

// Exports of fewer frames finish too soon for a bar to help.
inline constexpr int64_t kFramesWorthABar = 10;

// True when standard error is a terminal and `frames` is worth a bar.
bool progress_bar_wanted(int64_t frames, bool quiet);

class ProgressBar {
 public:
  ProgressBar(int64_t total, bool enabled);
  ~ProgressBar();  // ends the bar's line

  void advance();  // one more frame done
  // Ends the bar's line, so that a message after it starts on a line of its own.
  void finish();

 private:
  void draw();

  int64_t total_, done_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  bool enabled_, open_ = false;
};

}  // namespace ozmira::frame_export
