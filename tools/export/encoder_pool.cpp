#include "encoder_pool.h"

#include "atomic_file.h"

namespace ozmira::frame_export {

int encoder_workers_for_this_machine(int asked) {
  if (asked > 0) return asked;
  const unsigned processors = std::thread::hardware_concurrency();
  return processors == 0 ? 1 : static_cast<int>(processors);
}

EncoderPool::EncoderPool(int workers) {
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

EncoderPool::~EncoderPool() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  job_added_.notify_all();
  for (std::thread &worker : workers_) worker.join();
}

Picture EncoderPool::spare_picture(PictureKind kind) {
  const std::lock_guard lock(mutex_);
  if (spares_.empty()) return make_picture(kind);
  Picture picture = std::move(spares_.back());
  spares_.pop_back();
  return picture;
}

void EncoderPool::submit(int frame, Picture picture, PixelAspect aspect) {
  auto job = std::make_unique<Job>();
  job->frame = frame;
  job->picture = std::move(picture);
  job->aspect = aspect;
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  job_added_.notify_one();
}

size_t EncoderPool::pending() const {
  const std::lock_guard lock(mutex_);
  return jobs_.size();
}

EncodedImage EncoderPool::take_front() {
  Job &job = *jobs_.front();
  EncodedImage result = std::move(job.result);
  spares_.push_back(std::move(job.picture));
  jobs_.pop_front();
  return result;
}

EncodedImage EncoderPool::collect_oldest() {
  std::unique_lock lock(mutex_);
  job_done_.wait(lock, [this] { return jobs_.front()->done; });
  return take_front();
}

bool EncoderPool::collect_oldest_if_done(EncodedImage &image) {
  const std::lock_guard lock(mutex_);
  if (jobs_.empty() || !jobs_.front()->done) return false;
  image = take_front();
  return true;
}

void EncoderPool::work() {
  block_interrupts_in_this_thread();
  PngEncoder encoder;
  std::unique_lock lock(mutex_);
  while (true) {
    Job *job = nullptr;
    job_added_.wait(lock, [&] {
      if (stopping_) return true;
      for (const auto &candidate : jobs_) {
        if (!candidate->taken) {
          job = candidate.get();
          return true;
        }
      }
      return false;
    });
    if (job == nullptr) return;  // stopping
    job->taken = true;
    lock.unlock();
    EncodedImage result;
    result.frame = job->frame;
    result.ok = encoder.encode(job->picture, job->aspect, result.png, result.error);
    lock.lock();
    job->result = std::move(result);
    job->done = true;
    job_done_.notify_all();
  }
}

}  // namespace ozmira::frame_export
