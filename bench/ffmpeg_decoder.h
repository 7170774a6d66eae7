// FFmpeg as the peer a user would pick, in this process: libavcodec's dvvideo
// decoder, with as many slice threads as asked, and libswscale's conversion
// of its yuv420p picture to packed rgb24, the layout of dvreadblock's image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace ozmira::bench {

class FfmpegDecoder {
 public:
  // One packet per frame block, made once; exits with a message if FFmpeg
  // has no dvvideo decoder.
  FfmpegDecoder(const std::vector<std::vector<uint8_t>> &frames, int slice_threads);
  ~FfmpegDecoder();
  FfmpegDecoder(const FfmpegDecoder &) = delete;
  FfmpegDecoder &operator=(const FfmpegDecoder &) = delete;

  // Decodes frame `index` and converts it into `rgb` (width x 3 bytes a row).
  void decode(size_t index, uint8_t *rgb);

 private:
  AVCodecContext *context_ = nullptr;
  AVFrame *picture_ = nullptr;
  SwsContext *scaler_ = nullptr;
  std::vector<AVPacket *> packets_;
};

}  // namespace ozmira::bench
