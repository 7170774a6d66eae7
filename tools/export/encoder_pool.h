// PNG encoding on a pool of worker threads, results handed back in the order
// the pictures went in. The caller decodes one frame at a time (the decoder
// is not re-entrant) and writes the files in order; the workers only filter
// and compress. The caller bounds memory by collecting results once
// `pending()` reaches its limit.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pictures.h"
#include "png_output.h"

namespace ozmira::frame_export {

struct EncodedImage {
  int frame = 0;
  bool ok = false;
  std::vector<uint8_t> png;
  std::string error;  // when !ok
};

class EncoderPool {
 public:
  explicit EncoderPool(int workers);
  ~EncoderPool();  // finishes what is being encoded, drops the rest
  EncoderPool(const EncoderPool &) = delete;
  EncoderPool &operator=(const EncoderPool &) = delete;

  // A picture of `kind` to decode into: one a finished job gave back, or a new one.
  Picture spare_picture(PictureKind kind);
  void submit(int frame, Picture picture, PixelAspect aspect);
  // Pictures submitted and not yet collected.
  size_t pending() const;
  // The oldest submitted picture's result, waiting until it is encoded.
  // Call only while pending() > 0.
  EncodedImage collect_oldest();
  // The same without waiting: false when the oldest is not encoded yet.
  bool collect_oldest_if_done(EncodedImage &image);

 private:
  struct Job {
    int frame;
    Picture picture;
    PixelAspect aspect;
    bool taken = false, done = false;
    EncodedImage result;
  };
  void work();
  EncodedImage take_front();  // with the lock held and the front done

  mutable std::mutex mutex_;
  std::condition_variable job_added_, job_done_;
  std::deque<std::unique_ptr<Job>> jobs_;  // in submission order
  std::vector<Picture> spares_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// Workers for a machine: `asked` when it is 1 or more, else one per processor
// (the decoding thread mostly waits for them), at least one.
int encoder_workers_for_this_machine(int asked);

}  // namespace ozmira::frame_export
