#include "stderr_capture.h"

#include <unistd.h>

namespace ozmira::frame_export {

StderrCapture::StderrCapture() {
  std::fflush(stderr);
  sink_ = std::tmpfile();
  if (sink_ == nullptr) return;
  saved_fd_ = dup(STDERR_FILENO);
  if (saved_fd_ == -1 || dup2(fileno(sink_), STDERR_FILENO) == -1) {
    if (saved_fd_ != -1) close(saved_fd_);
    saved_fd_ = -1;
    std::fclose(sink_);
    sink_ = nullptr;
  }
}

StderrCapture::~StderrCapture() { take(); }

std::string StderrCapture::take() {
  if (sink_ == nullptr) return "";
  std::fflush(stderr);
  dup2(saved_fd_, STDERR_FILENO);
  close(saved_fd_);
  std::string text;
  std::rewind(sink_);
  char chunk[1024];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, sink_)) > 0) text.append(chunk, n);
  std::fclose(sink_);
  sink_ = nullptr;
  return text;
}

}  // namespace ozmira::frame_export
