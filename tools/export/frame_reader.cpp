#include "frame_reader.h"

#include <signal.h>

#include <system_error>

namespace ozmira::frame_export {

FrameReader::FrameReader(const DvSource &source, ChosenFrames chosen)
    : source_(source), chosen_(std::move(chosen)) {
  for (Slot &slot : slots_) slot.bytes.resize(DVLIB_FRAME_BYTES);
  // Signals are the main thread's: the reader starts with all of them held.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  try {
    thread_ = std::thread([this] { read_ahead(); });
  } catch (const std::system_error &) {
    // No thread to be had (a process limit): next() reads each frame itself.
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

FrameReader::~FrameReader() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void FrameReader::read_ahead() {
  for (int frame; chosen_.next(frame);) {
    std::unique_lock<std::mutex> hold(lock_);
    // A slot is free once next() has moved past it: the one handed out last
    // is still in use.
    changed_.wait(hold, [this] { return stop_ || filled_ - taken_ < kSlots - 1; });
    if (stop_) return;
    Slot &slot = slots_[filled_ % kSlots];
    hold.unlock();
    slot.frame = frame;
    slot.read = source_.read_frame_at(frame, slot.bytes.data());
    hold.lock();
    ++filled_;
    changed_.notify_all();
    if (!slot.read) break;
  }
  const std::lock_guard<std::mutex> hold(lock_);
  ended_ = true;
  changed_.notify_all();
}

bool FrameReader::next(int &frame, const uint8_t *&block, std::string &error) {
  if (!thread_.joinable()) {
    if (ended_ || !chosen_.next(frame)) return false;
    block = slots_[0].bytes.data();
    if (source_.read_frame_at(frame, slots_[0].bytes.data())) return true;
    ended_ = true;
    error = kCannotReadWhole;
    return false;
  }
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return filled_ > taken_ || ended_; });
  if (filled_ == taken_) return false;
  const Slot &slot = slots_[taken_ % kSlots];
  ++taken_;
  changed_.notify_all();
  frame = slot.frame;
  block = slot.bytes.data();
  if (slot.read) return true;
  error = kCannotReadWhole;
  return false;
}

}  // namespace ozmira::frame_export
