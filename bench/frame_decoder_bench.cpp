// Per-frame wall time of the frame decoder in its formats, on as many threads
// as cores (on one where the name ends in OneThread), against libdv's own decode into packed RGB, on the
// frames of the mandelbrot clip (fine detail). Every case parses the frame header first, as every caller
// must.
#include <benchmark/benchmark.h>

#include <libdv/dv.h>

#include <vector>

#include "bench_clips.h"
#include "color_tables.h"
#include "frame_decoder.h"

namespace {

constexpr int kWidth = 720, kHeight = 576;

struct Fixture {
  Fixture() : frames(ozmira::bench::clip_frames("mandelbrot.dv")), decoder(dv_decoder_new(0, 0, 0)) {
    dv_init(0, 0);
    ozmira::InitColorTables();
  }
  std::vector<std::vector<uint8_t>> frames;
  dv_decoder_t *decoder;
};

Fixture &fixture() {
  static Fixture f;
  return f;
}

// An image for the format: one packed block, or rows of the format's layout.
struct Image {
  Image(int rows, int row_bytes) : bytes(static_cast<size_t>(rows) * row_bytes), pointers(rows) {
    for (int r = 0; r < rows; ++r) pointers[r] = bytes.data() + static_cast<size_t>(r) * row_bytes;
  }
  std::vector<uint8_t> bytes;
  std::vector<uint8_t *> pointers;
};

template <typename Decode>
void run_frames(benchmark::State &state, Decode decode) {
  Fixture &f = fixture();
  size_t next = 0;
  for (auto _ : state) {
    const uint8_t *frame = f.frames[next].data();
    next = (next + 1) % f.frames.size();
    dv_parse_header(f.decoder, frame);
    f.decoder->quality = 5;
    decode(frame);
    benchmark::ClobberMemory();
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_LibdvPackedRgb(benchmark::State &state) {
  Image image(1, kWidth * kHeight * 3);
  int pitches[1] = {kWidth * 3};
  run_frames(state, [&](const uint8_t *frame) {
    dv_decode_full_frame(fixture().decoder, frame, e_dv_color_rgb, image.pointers.data(), pitches);
  });
}

void decode_ours(benchmark::State &state, ozmira::ColorSpace format, int rows, int row_bytes,
                 int threads = 0) {
  ozmira::SetDecodeThreads(threads);
  Image image(format <= ozmira::e_dv_color_bgr0 ? 1 : rows,
              format <= ozmira::e_dv_color_bgr0 ? rows * row_bytes : row_bytes);
  int pitches[1] = {row_bytes};
  run_frames(state, [&](const uint8_t *frame) {
    ozmira::DecodeFrame(fixture().decoder, frame, format, image.pointers.data(), pitches);
  });
}

void BM_OursPackedRgb(benchmark::State &s) { decode_ours(s, ozmira::e_dv_color_rgb, kHeight, kWidth * 3); }
void BM_OursFullRgb0(benchmark::State &s) { decode_ours(s, ozmira::b_dv_color_RGB, kHeight, kWidth * 4); }
void BM_OursFullLuma(benchmark::State &s) { decode_ours(s, ozmira::b_dv_color_L, kHeight, kWidth); }
void BM_OursFullRedInt(benchmark::State &s) { decode_ours(s, ozmira::b_dv_color_I, kHeight, kWidth * 4); }
void BM_OursHalfRgb0(benchmark::State &s) {
  decode_ours(s, ozmira::b_dv_color_hRGB, kHeight / 2, kWidth / 2 * 4);
}
void BM_OursThumbRgb0(benchmark::State &s) { decode_ours(s, ozmira::b_dv_color_tRGB, 72, 92 * 4); }
void BM_OursThumbByte(benchmark::State &s) { decode_ours(s, ozmira::b_dv_color_tL, 72, 92); }
void BM_OursThumbInt(benchmark::State &s) { decode_ours(s, ozmira::b_dv_color_tI, 72, 92 * 4); }
void BM_OursFullRgb0OneThread(benchmark::State &s) {
  decode_ours(s, ozmira::b_dv_color_RGB, kHeight, kWidth * 4, 1);
}
void BM_OursHalfRgb0OneThread(benchmark::State &s) {
  decode_ours(s, ozmira::b_dv_color_hRGB, kHeight / 2, kWidth / 2 * 4, 1);
}
void BM_OursThumbRgb0OneThread(benchmark::State &s) {
  decode_ours(s, ozmira::b_dv_color_tRGB, 72, 92 * 4, 1);
}

}  // namespace

BENCHMARK(BM_LibdvPackedRgb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursPackedRgb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursFullRgb0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursFullLuma)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursFullRedInt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursHalfRgb0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursThumbRgb0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursThumbByte)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursThumbInt)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursFullRgb0OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursHalfRgb0OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursThumbRgb0OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
