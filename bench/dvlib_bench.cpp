// Per-frame cost of dvlib's decoding calls against libdv's own decode into
// packed RGB (dv_parse_header + dv_decode_full_frame at full quality), all on
// the frames of the same PAL 4:2:0 clip, taken in turn. Every dvlib call
// parses the frame header itself, so the baseline does too.
#include <benchmark/benchmark.h>

#include <libdv/dv.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_clips.h"
#include "dvlib.h"

namespace {

constexpr int kWidth = 720, kHeight = 576;
constexpr int kRgbBytes = 3, kRgb0Bytes = 4;
constexpr int kRequestFull = 2, kRequestDc = 16;
constexpr char kClip[] = "pal420.dv";

struct Clip {
  Clip() : frames(ozmira::bench::clip_frames(kClip)), own(dv_decoder_new(0, 0, 0)) {
    dvinit();
    if (own == nullptr) {
      std::fputs("dvlib_bench: libdv could not make a decoder\n", stderr);
      std::exit(1);
    }
    // What the decoder makes on first use is made here, outside per_frame,
    // whose work alone bench/profile_decode.sh counts.
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
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
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
void BM_LibdvOwnDecodeDc(benchmark::State &state) { libdv_own_decode(state, DV_QUALITY_COLOR | DV_QUALITY_DC); }

void dvreadblock_request(benchmark::State &state, int request) {
  std::vector<unsigned char> image(kWidth * kHeight * kRgbBytes);
  per_frame(state, clip(), [&](const uint8_t *frame, int) { dvreadblock(frame, image.data(), request, 0); });
}

void BM_DvreadblockRequest2(benchmark::State &state) { dvreadblock_request(state, kRequestFull); }
void BM_DvreadblockRequest16(benchmark::State &state) { dvreadblock_request(state, kRequestDc); }

void BM_Dvreadarray(benchmark::State &state) {
  std::vector<unsigned char> lines(kWidth * kHeight * kRgb0Bytes);
  std::vector<unsigned char *> rows(kHeight);
  for (int r = 0; r < kHeight; ++r) rows[r] = lines.data() + r * kWidth * kRgb0Bytes;
  per_frame(state, clip(), [&](const uint8_t *frame, int) { dvreadarray(frame, rows.data(), kRequestFull, 0); });
}

// The same frames read from the clip's file: seek, read and decode.
void BM_DvreadframeFromFile(benchmark::State &state) {
  Clip &c = clip();  // runs dvinit first
  dvfile *file = dvopen(ozmira::bench::clip_path(kClip).c_str());
  if (file == nullptr) {
    state.SkipWithError("dvopen failed");
    return;
  }
  std::vector<unsigned char> image(kWidth * kHeight * kRgbBytes);
  per_frame(state, c, [&](const uint8_t *, int number) { dvreadframe(file, image.data(), number); });
  dvclose(file);
}

}  // namespace

// The first registered benchmark is the baseline of the table.
BENCHMARK(BM_LibdvOwnDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DvreadblockRequest2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DvreadblockRequest16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibdvOwnDecodeDc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dvreadarray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DvreadframeFromFile)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
