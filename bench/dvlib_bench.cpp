// Per-frame wall time of dvlib's decoding calls against libdv's own decode
// into packed RGB (dv_parse_header + dv_decode_full_frame at full quality) and
// FFmpeg's (dvvideo + swscale to rgb24, in this process), all on the frames of
// the mandelbrot clip, whose fine detail makes the most codes, taken in turn.
// dvlib's calls run with as many threads as cores and, in the OneThread
// cases, after dvthreads(1); libdv decodes on one thread only.
#include <benchmark/benchmark.h>

#include <libdv/dv.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_clips.h"
#include "dvlib.h"
#include "ffmpeg_decoder.h"

namespace {

constexpr int kWidth = 720, kHeight = 576;
constexpr int kRgbBytes = 3, kRgb0Bytes = 4;
constexpr int kRequestFull = 2, kRequestDc = 16;
constexpr int kAllCores = 0, kOneThread = 1, kTwoSliceThreads = 2;
constexpr char kClip[] = "mandelbrot.dv";

struct Clip {
  Clip() : frames(ozmira::bench::clip_frames(kClip)), own(dv_decoder_new(0, 0, 0)) {
    dvinit();
    if (own == nullptr) {
      std::fputs("dvlib_bench: libdv could not make a decoder\n", stderr);
      std::exit(1);
    }
    // What the decoder makes on first use (its threads among it) is made
    // here, outside per_frame, whose work alone bench/profile_decode.sh counts.
    std::vector<unsigned char> image(kWidth * kHeight * kRgbBytes);
    dvreadblock(frames[0].data(), image.data(), kRequestFull, 0);
  }
  std::vector<std::vector<uint8_t>> frames;
  dv_decoder_t *own;  // libdv's own decoder, apart from dvlib's
};

Clip &clip() {
  static Clip c;
  return c;
}

// Runs `decode` once per iteration on the clip's frames in turn. Not inlined,
// so that a profiler can count inside it alone.
template <typename Decode>
[[gnu::noinline]] void per_frame(benchmark::State &state, Clip &c, Decode decode) {
  size_t next = 0;
  for (auto _ : state) {
    decode(c.frames[next].data(), static_cast<int>(next));
    next = (next + 1) % c.frames.size();
    benchmark::ClobberMemory();
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void libdv_own_decode(benchmark::State &state, unsigned quality) {
  std::vector<uint8_t> image(kWidth * kHeight * kRgbBytes);
  uint8_t *pixels[1] = {image.data()};
  int pitches[1] = {kWidth * kRgbBytes};
  per_frame(state, clip(), [&](const uint8_t *frame, int) {
    dv_parse_header(clip().own, frame);
    clip().own->quality = quality;
    dv_decode_full_frame(clip().own, frame, e_dv_color_rgb, pixels, pitches);
  });
}

void BM_LibdvOwnDecode(benchmark::State &state) { libdv_own_decode(state, DV_QUALITY_BEST); }

// libdv's own decode from DC coefficients alone, for comparison with request 16.
void BM_LibdvOwnDecodeDc(benchmark::State &state) {
  libdv_own_decode(state, DV_QUALITY_COLOR | DV_QUALITY_DC);
}

void dvreadblock_request(benchmark::State &state, int request, int threads) {
  clip();
  dvthreads(threads);
  std::vector<unsigned char> image(kWidth * kHeight * kRgbBytes);
  per_frame(state, clip(), [&](const uint8_t *frame, int) { dvreadblock(frame, image.data(), request, 0); });
}

void BM_DvreadblockRequest2(benchmark::State &state) { dvreadblock_request(state, kRequestFull, kAllCores); }
void BM_DvreadblockRequest16(benchmark::State &state) { dvreadblock_request(state, kRequestDc, kAllCores); }
void BM_DvreadblockRequest2OneThread(benchmark::State &state) {
  dvreadblock_request(state, kRequestFull, kOneThread);
}
void BM_DvreadblockRequest16OneThread(benchmark::State &state) {
  dvreadblock_request(state, kRequestDc, kOneThread);
}

void dvreadarray_rows(benchmark::State &state, int threads) {
  clip();
  dvthreads(threads);
  std::vector<unsigned char> lines(kWidth * kHeight * kRgb0Bytes);
  std::vector<unsigned char *> rows(kHeight);
  for (int r = 0; r < kHeight; ++r) rows[r] = lines.data() + r * kWidth * kRgb0Bytes;
  per_frame(state, clip(),
            [&](const uint8_t *frame, int) { dvreadarray(frame, rows.data(), kRequestFull, 0); });
}

void BM_Dvreadarray(benchmark::State &state) { dvreadarray_rows(state, kAllCores); }
void BM_DvreadarrayOneThread(benchmark::State &state) { dvreadarray_rows(state, kOneThread); }

// The same frames read from the clip's file: seek, read and decode.
void BM_DvreadframeFromFile(benchmark::State &state) {
  Clip &c = clip();  // runs dvinit first
  dvthreads(kAllCores);
  dvfile *file = dvopen(ozmira::bench::clip_path(kClip).c_str());
  if (file == nullptr) {
    state.SkipWithError("dvopen failed");
    return;
  }
  std::vector<unsigned char> image(kWidth * kHeight * kRgbBytes);
  per_frame(state, c, [&](const uint8_t *, int number) { dvreadframe(file, image.data(), number); });
  dvclose(file);
}

void ffmpeg_rgb24(benchmark::State &state, int slice_threads) {
  ozmira::bench::FfmpegDecoder ffmpeg(clip().frames, slice_threads);
  std::vector<uint8_t> image(kWidth * kHeight * kRgbBytes);
  per_frame(state, clip(), [&](const uint8_t *, int number) { ffmpeg.decode(number, image.data()); });
}

void BM_FfmpegRgb24TwoSliceThreads(benchmark::State &state) { ffmpeg_rgb24(state, kTwoSliceThreads); }
void BM_FfmpegRgb24OneThread(benchmark::State &state) { ffmpeg_rgb24(state, kOneThread); }

}  // namespace

// The first registered benchmark is the baseline of the table. Wall time:
// dvlib's threads work while the calling thread waits.
BENCHMARK(BM_LibdvOwnDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DvreadblockRequest2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DvreadblockRequest16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Dvreadarray)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfmpegRgb24TwoSliceThreads)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DvreadblockRequest2OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DvreadblockRequest16OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DvreadarrayOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfmpegRgb24OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibdvOwnDecodeDc)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DvreadframeFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
