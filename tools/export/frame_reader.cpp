#include "frame_reader.h"

#include <signal.h>

namespace ozmira::frame_export {

FrameReader::FrameReader(const DvSource &source, ChosenFrames chosen)
    : source_(source), chosen_(std::move(chosen)) {
  for (Slot &slot : slots_) slot.bytes.resize(DVLIB_FRAME_BYTES);
  // Signals are the main thread's: the reader starts with all of them held.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  thread_ = std::thread([this] { read_ahead(); });
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

FrameReader::~FrameReader() {
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
