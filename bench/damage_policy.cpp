// What to draw of a segment that holds an invalid code, measured: the frame
// decoder keeps each block's coefficients up to the bad code; the other
// choice is the whole segment from its DC coefficients. Each frame of a clip
// gets random bytes changed in its video DIF blocks (their three ID bytes
// left alone), is decoded both ways into packed RGB, and both pictures are
// compared with the decode of the frame before the damage: PSNR over the
// whole picture, mean absolute difference over the macroblocks of the
// segments that held invalid codes (the only ones where the two differ).
// Prints a Markdown table; docs/ROBUSTNESS.md gives its figures.
//   damage_policy CLIP... (from the clip directory, or OZMIRA_CLIP_DIR)
#include <libdv/dv.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_clips.h"
#include "color_tables.h"
#include "frame_decoder.h"
#include "libdv_internal.h"

namespace {

constexpr int kWidth = 720, kHeight = 576, kRgbBytes = 3, kPitch = kWidth * kRgbBytes;
constexpr int kSequences = 12, kSegmentsPerSequence = 27, kMacroblockSide = 16;
constexpr size_t kDifBlockBytes = 80, kSequenceBytes = 150 * kDifBlockBytes, kIdBytes = 3;
constexpr unsigned kFull = 5, kDcOnly = 1;
constexpr int kSeed = 61834;

size_t segment_offset(int ds, int v) {
  return ds * kSequenceBytes + kDifBlockBytes * (7 + 16 * (v / 3) + 5 * (v % 3));
}

using Picture = std::vector<uint8_t>;

Picture decode(dv_decoder_t *dv, const uint8_t *frame, unsigned quality) {
  Picture picture(size_t{kPitch} * kHeight);
  uint8_t *pixels[1] = {picture.data()};
  int pitches[1] = {kPitch};
  dv_parse_header(dv, frame);
  dv->quality = quality;
  ozmira::DecodeFrame(dv, frame, ozmira::e_dv_color_rgb, pixels, pitches);
  return picture;
}

struct Totals {
  double squared_keep = 0, squared_dc = 0, absolute_keep = 0, absolute_dc = 0, damaged_bytes = 0, bytes = 0;
  int damaged_segments = 0;
};

// The damaged frame both ways against the intact one.
void compare(dv_decoder_t *dv, const uint8_t *frame, const Picture &intact, Totals &t) {
  const Picture keep = decode(dv, frame, kFull), dc = decode(dv, frame, kDcOnly);
  Picture as_dc = keep;
  std::vector<bool> damaged(size_t{kWidth} * kHeight);
  dv_videosegment_t where{};
  for (int ds = 0; ds < kSequences; ++ds) {
    for (int v = 0; v < kSegmentsPerSequence; ++v) {
      if (ozmira::ParseVideoSegment(frame + segment_offset(ds, v), kFull, where.mb)) continue;
      ++t.damaged_segments;
      where.i = ds, where.k = v;
      for (int m = 0; m < ozmira::kMacroblocksPerSegment; ++m) {
        dv_place_macroblock(dv, &where, &where.mb[m], m);
        for (int r = 0; r < kMacroblockSide; ++r) {
          const size_t at = size_t(where.mb[m].y + r) * kPitch + size_t(where.mb[m].x) * kRgbBytes;
          std::memcpy(&as_dc[at], &dc[at], kMacroblockSide * kRgbBytes);
          for (int c = 0; c < kMacroblockSide; ++c) damaged[at / kRgbBytes + c] = true;
        }
      }
    }
  }
  for (size_t i = 0; i < intact.size(); ++i) {
    const double k = double(keep[i]) - intact[i], d = double(as_dc[i]) - intact[i];
    t.squared_keep += k * k, t.squared_dc += d * d, ++t.bytes;
    if (damaged[i / kRgbBytes])
      t.absolute_keep += std::fabs(k), t.absolute_dc += std::fabs(d), ++t.damaged_bytes;
  }
}

double psnr(double squared, double bytes) { return 10 * std::log10(255.0 * 255.0 * bytes / squared); }

}  // namespace

int main(int argc, char **argv) {
  dv_init(0, 0);
  ozmira::InitColorTables();
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  std::puts(
      "| clip | bytes changed per frame | segments with invalid codes | PSNR, coefficients kept | PSNR, DC "
      "only | "
      "mean abs. difference in those segments, coefficients kept | the same, DC only |");
  std::puts("|---|---:|---:|---:|---:|---:|---:|");
  for (int a = 1; a < argc; ++a) {
    const auto frames = ozmira::bench::clip_frames(argv[a]);
    for (int changes : {1, 4, 16, 64}) {
      std::mt19937 rng(kSeed);
      Totals t;
      for (auto frame : frames) {
        const Picture intact = decode(dv, frame.data(), kFull);
        for (int c = 0; c < changes; ++c) {
          const size_t dif_block = segment_offset(rng() % kSequences, rng() % kSegmentsPerSequence) +
                                   rng() % ozmira::kMacroblocksPerSegment * kDifBlockBytes;
          frame[dif_block + kIdBytes + rng() % (kDifBlockBytes - kIdBytes)] = static_cast<uint8_t>(rng());
        }
        compare(dv, frame.data(), intact, t);
      }
      std::printf("| %s | %d | %d | %.2f dB | %.2f dB | %.2f | %.2f |\n", argv[a], changes,
                  t.damaged_segments, psnr(t.squared_keep, t.bytes), psnr(t.squared_dc, t.bytes),
                  t.absolute_keep / t.damaged_bytes, t.absolute_dc / t.damaged_bytes);
    }
  }
  return 0;
}
