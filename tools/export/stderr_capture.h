// Keeps back what is written to standard error (file descriptor 2, so C stdio
// writes from libraries are caught too) between construction and take().
#pragma once

#include <cstdio>
#include <string>

namespace ozmira::frame_export {

class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();  // restores standard error if take() was not called
  StderrCapture(const StderrCapture &) = delete;
  StderrCapture &operator=(const StderrCapture &) = delete;

  // Restores standard error and returns what was written meanwhile. If no
  // temporary file could be had, nothing was kept back and "" is returned.
  std::string take();

 private:
  std::FILE *sink_ = nullptr;
  int saved_fd_ = -1;
};

}  // namespace ozmira::frame_export
