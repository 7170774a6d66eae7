#include "progress_bar.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace ozmira::frame_export {
namespace {
constexpr int kBarCells = 40;
}

bool progress_bar_wanted(int64_t frames, bool quiet) {
  return !quiet && frames >= kFramesWorthABar && isatty(STDERR_FILENO) == 1;
}

ProgressBar::ProgressBar(int64_t total, bool enabled) : total_(total), enabled_(enabled && total > 0) {
  if (enabled_) draw();
}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::advance() {
  ++done_;
  if (enabled_) draw();
}

void ProgressBar::finish() {
  if (!open_) return;
  std::fputc('\n', stderr);
  std::fflush(stderr);
  open_ = false;
  enabled_ = false;
}

void ProgressBar::draw() {
  const int filled = static_cast<int>(done_ * kBarCells / total_);
  const std::string cells = std::string(filled, '#') + std::string(kBarCells - filled, '-');
  std::fprintf(stderr, "\r[%s] %lld/%lld frames", cells.c_str(), static_cast<long long>(done_),
               static_cast<long long>(total_));
  std::fflush(stderr);
  open_ = true;
}

}  // namespace ozmira::frame_export
