// The decoder's kernels against libdv's, routine by routine, on the blocks and
// macroblocks of one frame of a PAL 4:2:0 clip: the 8x8 inverse DCT per block,
// each packed renderer per macroblock, and a DC-only frame's block work, alone
// and with rendering into packed RGB. Each pair runs the same work on the same
// data; every routine's time is independent of the values it meets, so blocks
// are transformed again in place rather than restored. Items are blocks,
// macroblocks or frames. The clip is OZMIRA_BENCH_CLIP in the clip folder,
// by default mandelbrot.dv (fine detail) where the clips include it, else pal420.dv.
#include <benchmark/benchmark.h>

#include <libdv/dv.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_clips.h"
#include "block_work.h"
#include "dc_only_blocks.h"
#include "idct_88.h"
#include "libdv_internal.h"
#include "mb420_packed.h"

namespace {

constexpr int kWidth = 720, kHeight = 576;
constexpr int kSegmentsPerSequence = 27;
constexpr size_t kDifBlockBytes = 80, kSequenceBlocks = 150;

struct Block {
  dv_coeff_t c[64];
};

// One frame parsed by libdv: its dequantised 8-8 blocks, its macroblocks
// transformed and placed, and its segments as the DC-only parse leaves them.
struct Material {
  Material() : decoder(dv_decoder_new(0, 0, 0)) {
    const char *chosen = std::getenv("OZMIRA_BENCH_CLIP");
    const std::string clip = chosen != nullptr ? chosen
                             : std::filesystem::exists(ozmira::bench::clip_path("mandelbrot.dv"))
                                 ? "mandelbrot.dv"
                                 : "pal420.dv";
    std::vector<uint8_t> frame = ozmira::bench::clip_frames(clip).front();
    dv_parse_header(decoder, frame.data());
    dv_videosegment_t seg{};
    seg.bs = _dv_bitstream_init();
    seg.isPAL = 1;
    for (seg.i = 0; seg.i < decoder->num_dif_seqs; ++seg.i) {
      for (seg.k = 0; seg.k < kSegmentsPerSequence; ++seg.k) {
        const size_t dif = kSequenceBlocks * seg.i + 7 + 16 * (seg.k / 3) + 5 * (seg.k % 3);
        parse(seg, frame.data() + kDifBlockBytes * dif, DV_QUALITY_COLOR);
        dc_only_segments.push_back(seg);
        parse(seg, frame.data() + kDifBlockBytes * dif, DV_QUALITY_BEST);
        for (dv_macroblock_t &mb : seg.mb) {
          for (dv_block_t &b : mb.b) {
            if (b.dct_mode != 0) continue;
            blocks.emplace_back();
            std::copy(b.coeffs, b.coeffs + 64, blocks.back().c);
            ozmira::Dequantise88(blocks.back().c, mb.qno, b.class_no);
          }
        }
        ozmira::TransformSegment(&seg, DV_QUALITY_BEST, ozmira::kAllBlocks);
        for (int m = 0; m < 5; ++m) {
          dv_place_macroblock(decoder, &seg, &seg.mb[m], m);
          macroblocks.push_back(seg.mb[m]);
        }
      }
    }
    for (dv_videosegment_t &s : dc_only_segments) {
      for (int m = 0; m < 5; ++m) dv_place_macroblock(decoder, &s, &s.mb[m], m);
    }
  }
  void parse(dv_videosegment_t &seg, const uint8_t *segment, unsigned quality) {
    _dv_bitstream_new_buffer(seg.bs, const_cast<uint8_t *>(segment), 400);
    dv_parse_video_segment(&seg, quality);
  }

  dv_decoder_t *decoder;
  std::vector<Block> blocks;
  std::vector<dv_macroblock_t> macroblocks;
  std::vector<dv_videosegment_t> dc_only_segments;
};

Material &material() {
  static Material m;
  return m;
}

template <typename Transform>
void run_idct(benchmark::State &state, Transform transform) {
  std::vector<Block> blocks = material().blocks;
  for (auto _ : state) {
    for (Block &b : blocks) transform(b.c);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(blocks.size()));
}

void BM_LibdvIdct88(benchmark::State &s) { run_idct(s, _dv_idct_88); }
void BM_OursIdct88(benchmark::State &s) {
  run_idct(s, [](dv_coeff_t *block) { ozmira::Idct88(block); });
}

// The same blocks two at a time (AVX2 where the processor has it).
void BM_OursIdct88Pairs(benchmark::State &state) {
  std::vector<Block> blocks = material().blocks;
  for (auto _ : state) {
    for (size_t b = 0; b + 1 < blocks.size(); b += 2) ozmira::Idct88Pair(blocks[b].c, blocks[b + 1].c);
    if (blocks.size() % 2 == 1) ozmira::Idct88(blocks.back().c);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(blocks.size()));
}

// The same coefficients as 2-4-8 blocks, dequantiser included (step 8,
// class 0): libdv's C routines against ours.
void BM_LibdvBlockWork248(benchmark::State &s) {
  run_idct(s, [](dv_coeff_t *block) {
    dv_248_coeff_t scaled[64];
    _dv_quant_248_inverse(block, 8, 0, scaled);
    dv_idct_248(scaled, block);
  });
}
void BM_OursBlockWork248(benchmark::State &s) {
  run_idct(s, [](dv_coeff_t *block) { ozmira::BlockWork248(block, 8, 0); });
}

using Renderer = void (*)(dv_macroblock_t *, uint8_t **, int *);

void run_renderer(benchmark::State &state, Renderer render, int bytes_per_pixel) {
  std::vector<dv_macroblock_t> macroblocks = material().macroblocks;
  std::vector<uint8_t> picture(static_cast<size_t>(kWidth) * kHeight * bytes_per_pixel);
  uint8_t *pixels[1] = {picture.data()};
  int pitches[1] = {kWidth * bytes_per_pixel};
  for (auto _ : state) {
    for (dv_macroblock_t &mb : macroblocks) render(&mb, pixels, pitches);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(macroblocks.size()));
}

void BM_LibdvMb420Yuy2(benchmark::State &s) { run_renderer(s, dv_mb420_YUY2, 2); }
void BM_OursMb420Yuy2(benchmark::State &s) { run_renderer(s, ozmira::Mb420PackedYuy2, 2); }
void BM_LibdvMb420Rgb(benchmark::State &s) { run_renderer(s, dv_mb420_rgb, 3); }
void BM_OursMb420Rgb(benchmark::State &s) { run_renderer(s, ozmira::Mb420PackedRgb, 3); }
void BM_LibdvMb420Bgr0(benchmark::State &s) { run_renderer(s, dv_mb420_bgr0, 4); }
void BM_OursMb420Bgr0(benchmark::State &s) { run_renderer(s, ozmira::Mb420PackedBgr0, 4); }

// A DC-only frame: the block work of its 270 segments, then optionally the
// packed RGB rendering of its macroblocks.
template <typename Work, typename Render>
void run_dc_only_frame(benchmark::State &state, Work work, Render render) {
  std::vector<dv_videosegment_t> segments = material().dc_only_segments;
  std::vector<uint8_t> picture(static_cast<size_t>(kWidth) * kHeight * 3);
  uint8_t *pixels[1] = {picture.data()};
  int pitches[1] = {kWidth * 3};
  for (auto _ : state) {
    for (dv_videosegment_t &seg : segments) {
      const ozmira::DcOnlyRowPlan *plans[5] = {};
      work(&seg, plans);
      for (int m = 0; m < 5; ++m) render(&seg.mb[m], pixels, pitches, plans[m]);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void libdv_dc_only(dv_videosegment_t *seg, const ozmira::DcOnlyRowPlan **) {
  dv_decode_video_segment(material().decoder, seg, DV_QUALITY_COLOR);
}
void ours_dc_only(dv_videosegment_t *seg, const ozmira::DcOnlyRowPlan **plans) {
  ozmira::TransformSegment(seg, DV_QUALITY_COLOR, ozmira::kAllBlocks, plans);
}
void no_render(dv_macroblock_t *, uint8_t **, int *, const ozmira::DcOnlyRowPlan *) {}
void libdv_rgb(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const ozmira::DcOnlyRowPlan *) {
  dv_mb420_rgb(mb, pixels, pitches);
}

void BM_LibdvDcOnlyBlockWork(benchmark::State &s) { run_dc_only_frame(s, libdv_dc_only, no_render); }
void BM_OursDcOnlyBlockWork(benchmark::State &s) { run_dc_only_frame(s, ours_dc_only, no_render); }
void BM_LibdvDcOnlyFrameRgb(benchmark::State &s) { run_dc_only_frame(s, libdv_dc_only, libdv_rgb); }
void BM_OursDcOnlyFrameRgb(benchmark::State &s) {
  run_dc_only_frame(s, ours_dc_only, ozmira::Mb420PackedRgbDcOnly);
}

}  // namespace

BENCHMARK(BM_LibdvIdct88);
BENCHMARK(BM_OursIdct88);
BENCHMARK(BM_OursIdct88Pairs);
BENCHMARK(BM_LibdvBlockWork248);
BENCHMARK(BM_OursBlockWork248);
BENCHMARK(BM_LibdvMb420Yuy2);
BENCHMARK(BM_OursMb420Yuy2);
BENCHMARK(BM_LibdvMb420Rgb);
BENCHMARK(BM_OursMb420Rgb);
BENCHMARK(BM_LibdvMb420Bgr0);
BENCHMARK(BM_OursMb420Bgr0);
BENCHMARK(BM_LibdvDcOnlyBlockWork)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursDcOnlyBlockWork)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibdvDcOnlyFrameRgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursDcOnlyFrameRgb)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
