#include "ffmpeg_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ozmira::bench {
namespace {

constexpr int kFrameBytes = 144000, kRgbBytes = 3;

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "FFmpeg peer: %s\n", what);
  std::exit(1);
}

}  // namespace

FfmpegDecoder::FfmpegDecoder(const std::vector<std::vector<uint8_t>> &frames, int slice_threads) {
  const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
  if (codec == nullptr) fail("no dvvideo decoder");
  context_ = avcodec_alloc_context3(codec);
  picture_ = av_frame_alloc();
  if (context_ == nullptr || picture_ == nullptr) fail("out of memory");
  context_->thread_count = slice_threads;
  context_->thread_type = FF_THREAD_SLICE;
  if (avcodec_open2(context_, codec, nullptr) < 0) fail("cannot open the dvvideo decoder");
  for (const auto &frame : frames) {
    AVPacket *packet = av_packet_alloc();
    if (packet == nullptr || av_new_packet(packet, kFrameBytes) < 0) fail("out of memory");
    std::memcpy(packet->data, frame.data(), kFrameBytes);
    packets_.push_back(packet);
  }
}

FfmpegDecoder::~FfmpegDecoder() {
  for (AVPacket *packet : packets_) av_packet_free(&packet);
  sws_freeContext(scaler_);
  av_frame_free(&picture_);
  avcodec_free_context(&context_);
}

void FfmpegDecoder::decode(size_t index, uint8_t *rgb) {
  if (avcodec_send_packet(context_, packets_[index]) < 0 || avcodec_receive_frame(context_, picture_) < 0) {
    fail("a frame did not decode");
  }
  const auto format = static_cast<AVPixelFormat>(picture_->format);
  scaler_ = sws_getCachedContext(scaler_, picture_->width, picture_->height, format, picture_->width,
                                 picture_->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (scaler_ == nullptr) fail("no conversion to rgb24");
  uint8_t *planes[1] = {rgb};
  const int strides[1] = {picture_->width * kRgbBytes};
  sws_scale(scaler_, picture_->data, picture_->linesize, 0, picture_->height, planes, strides);
}

}  // namespace ozmira::bench
