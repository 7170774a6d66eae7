#include "progress_bar.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace ozmira::frame_export {
namespace {
constexpr int kBarCells = 40;
constexpr int kSecondsPerMinute = 60;

// "M:SS", or "H:MM:SS" from an hour on.
std::string duration_text(int64_t seconds) {
  char text[32];
  const int64_t minutes = seconds / kSecondsPerMinute, hours = minutes / kSecondsPerMinute;
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(minutes % kSecondsPerMinute),
                  static_cast<long long>(seconds % kSecondsPerMinute));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                  static_cast<long long>(seconds % kSecondsPerMinute));
  }
  return text;
}

}  // namespace

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
  std::string pace;  // nothing to go on before the first frame
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (done_ > 0 && seconds > 0) {
    const double rate = static_cast<double>(done_) / seconds;
    char text[48];
    std::snprintf(text, sizeof text, ", %.1f frames/s, ", rate);
    pace = text + duration_text(static_cast<int64_t>(static_cast<double>(total_ - done_) / rate + 0.5)) +
           " left";
  }
  // The trailing spaces wipe what a longer earlier line left.
  std::fprintf(stderr, "\r[%s] %lld/%lld frames%s   ", cells.c_str(), static_cast<long long>(done_),
               static_cast<long long>(total_), pace.c_str());
  std::fflush(stderr);
  open_ = true;
}

}  // namespace ozmira::frame_export
