// The frame decoder against independent oracles, on every clip in every format
// at both qualities, each frame ending at an inaccessible page: the packed
// formats are libdv's own decode byte for byte, but for segments reported
// damaged, which are libdv's DC-only decode; the extended formats follow from
// the samples (our YUY2, just checked) through the BT.601 formulas below. Then
// the block work against libdv's, the colour tables and their SSE2 form, the
// renderers on samples of every range, and the segment guard and reader room.
#include <climits>
#include <cmath>
#include <deque>

#include "block_work.h"
#include "color_tables.h"
#include "conversion_sse2.h"
#include "frame_decoder.h"
#include "libdv_internal.h"
#include "mb420_renderers.h"
#include "reader_room.h"
#include "segment_guard.h"
#include "test_support.h"

namespace ozmira::test {
namespace {

// Studio range to full range, each product x 1024 rounded alone; samples are component - 128.
int luma_term(int y) { return int(std::rint((std::clamp(y, -112, 107) + 112) * 1191.936)); }
int chroma_term(int c, double f) { return int(std::rint(std::clamp(c, -112, 112) * f)); }
uint8_t component(int sum) { return uint8_t(std::clamp(sum >> 10, 0, 255)); }
uint8_t red(int y, int cr) { return component(luma_term(y) + chroma_term(cr, 1634.304)); }
uint8_t green(int y, int cr, int cb) {
  return component(luma_term(y) - chroma_term(cr, 832.512) - chroma_term(cb, 400.384));
}
uint8_t blue(int y, int cb) { return component(luma_term(y) + chroma_term(cb, 2066.432)); }

// A macroblock's samples: lum(r, c) for r, c < 16; cr(u, v), cb(u, v) for u, v < 8.
struct Samples {
  std::function<int(int, int)> lum, cr, cb;
};

// What extended format f draws of the macroblock at (x, y), written plainly.
void draw(int f, const Samples &s, int x, int y, Image &image) {
  const auto rgb0 = [&](int row, int col, int l, int cr, int cb) {
    uint8_t *p = image.row[row] + 4 * col;
    p[0] = red(l, cr), p[1] = green(l, cr, cb), p[2] = blue(l, cb), p[3] = 0;
  };
  const auto int32 = [&](int row, int col, int32_t v) { std::memcpy(image.row[row] + 4 * col, &v, 4); };
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) {
      const int l = s.lum(r, c), u = 2 * (r / 4) + r % 2;  // full-size RGB0 takes chroma rows interlaced
      if (f == 3) int32(y + r, x + c, red(l, s.cr(r / 2, c / 2)));
      if (f == 4) image.row[y + r][x + c] = uint8_t(luma_term(l) >> 10);
      if (f == 5) rgb0(y + r, x + c, l, s.cr(u, c / 2), s.cb(u, c / 2));
      if (f == 11 && r % 2 == 0 && c % 2 == 0) rgb0((y + r) / 2, (x + c) / 2, l, s.cr(r / 2, c / 2), s.cb(r / 2, c / 2));
      if (f < 6 || f > 8 || r > 1 || c > 3) continue;  // thumbnails: 4 x 2 top-left samples at (x/8, y/8)
      if (f == 6) int32(y / 8 + r, x / 8 + c, red(l, s.cr(0, c)));
      if (f == 7) image.row[y / 8 + r][x / 8 + c] = red(l, s.cr(0, c));
      if (f == 8) rgb0(y / 8 + r, x / 8 + c, l, s.cr(0, c), s.cb(0, c));
    }
}

struct Clip {
  const char *name;
  std::function<Bytes()> make;
  size_t frame_bytes = kPalFrameBytes;
  int damaged = 0;    // 0: intact, so no segment is reported damaged; 1: some may be; 2: some must be
  bool libdv = true;  // libdv's own decoder survives these frames
};
std::ostream &operator<<(std::ostream &o, const Clip &c) { return o << c.name; }

Bytes spoiled(uint8_t with) {  // every block after the header, subcode and VAUX blocks
  Bytes f = frames("pal420.dv", 0, 3);
  for (size_t i = 0; i < f.size(); ++i) f[i] = i % 12000 < 6 * 80 ? f[i] : with ? with : uint8_t(i * 2654435761u >> 13);
  return f;
}

class EveryClip : public testing::TestWithParam<Clip> {};

TEST_P(EveryClip, EveryFormatAtBothQualitiesAgainstTheOracles) {
  const Clip &clip = GetParam();
  const Bytes bytes = clip.make();
  dv_rgb_init();
  dv_decoder_t *ours = dv_decoder_new(0, 0, 0), *libdv = dv_decoder_new(0, 0, 0);
  Guarded block(clip.frame_bytes);
  const size_t count = bytes.size() / clip.frame_bytes;
  int damaged_segments = 0, flag = 0;
  pforerror = &flag;
  std::set<size_t> chosen = {count - 1};
  for (size_t n = 0; n < count; n += std::max<size_t>(1, count / 6)) chosen.insert(n);
  for (size_t n : chosen) {
    std::copy_n(&bytes[n * clip.frame_bytes], clip.frame_bytes, block.data());
    Bytes padded(block.data(), block.data() + clip.frame_bytes);
    padded.resize(clip.frame_bytes + 64);  // libdv's own decoder reads a little past damaged frames
    if (dv_parse_header(ours, block.data()) < 0 || dv_parse_header(libdv, padded.data()) < 0) continue;
    const int height = ours->height, sequences = ours->num_dif_seqs;
    const bool is411 = ours->sampling == e_dv_sample_411;
    for (unsigned quality : {5u, 1u}) {
      SCOPED_TRACE(testing::Message() << clip.name << " frame " << n << " quality " << quality);
      ours->quality = quality;
      std::deque<Image> packed;
      for (int f = 0; f < 3; ++f) {
        int pitch = 720 * (f + 2) + 24;  // wider than a row: rows must land where the pitch says
        Image &got = packed.emplace_back(height, pitch);
        Image full(height, pitch), dc(height, pitch);
        DecodeReport report;
        ozmira::dv_decode_full_frame(ours, block.data(), dv_color_space_t(f), got.pixels(), &pitch, &report);
        EXPECT_TRUE(clip.damaged || report.damaged_segments == 0) << report.damaged_segments;
        if (f == 0) damaged_segments += report.damaged_segments;
        if (clip.libdv) {
          for (auto [image, q] : {std::pair{&full, quality}, {&dc, quality & ~DV_QUALITY_AC_MASK}}) {
            libdv->quality = q;
            ::dv_decode_full_frame(libdv, padded.data(), ::dv_color_space_t(f), image->pixels(), &pitch);
          }
          int differing = 0;  // segments drawn otherwise than libdv: each must be libdv's DC-only drawing
          for (int ds = 0; ds < sequences; ++ds)
            for (int v = 0; v < 27; ++v) {
              bool same_full = true, same_dc = true;
              dv_videosegment_t where{};
              where.i = ds, where.k = v;
              for (int m = 0; m < 5; ++m) {
                dv_macroblock_t mb{};
                dv_place_macroblock(ours, &where, &mb, m);
                const bool wide = is411 && mb.x < 704;  // 4:1:1 macroblocks are 32 x 8 but at the right edge
                for (int r = 0; r < (wide ? 8 : 16); ++r) {
                  const size_t at = size_t(mb.x) * (f + 2), bytes_ = size_t(wide ? 32 : 16) * (f + 2);
                  same_full &= std::memcmp(got.row[mb.y + r] + at, full.row[mb.y + r] + at, bytes_) == 0;
                  same_dc &= std::memcmp(got.row[mb.y + r] + at, dc.row[mb.y + r] + at, bytes_) == 0;
                }
              }
              differing += !same_full;
              EXPECT_TRUE(same_full || same_dc) << "format " << f << " segment " << ds << "," << v;
            }
          EXPECT_LE(differing, report.damaged_segments) << "format " << f;
          EXPECT_TRUE(report.damaged_segments > 0 || got == full) << "format " << f << ", gaps between rows";
        }
      }
      const Image &yuy2 = packed[0];
      for (int f : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, -1, INT_MIN}) {
        const bool in_table = f >= 3 && f < 15;
        Image got(rows_of(f), row_bytes_of(f) + 16), want(rows_of(f), row_bytes_of(f) + 16);
        flag = 0;
        const Output said = capture([&] {
          ozmira::dv_decode_full_frame(ours, block.data(), dv_color_space_t(f), got.pixels(), &got.pitch);
        });
        const bool report411 = is411 && in_table;
        std::string messages;
        for (int i = 0; report411 && i < sequences * 27 * 5; ++i) messages += error_mess;
        EXPECT_TRUE(said.out == messages && said.err.empty()) << "format " << f << ": " << said.out.size();
        EXPECT_EQ(flag, report411 ? 1 : 0) << "format " << f;
        dv_videosegment_t where{};
        for (where.i = 0; !is411 && where.i < sequences; ++where.i)
          for (where.k = 0; where.k < 27; ++where.k)
            for (int m = 0; m < 5; ++m) {
              dv_macroblock_t mb{};
              dv_place_macroblock(ours, &where, &mb, m);
              const auto at = [&](int row, int col, int k) { return int(yuy2.row[row][2 * col + k]) - 128; };
              const auto chroma_row = [&](int u) { return mb.y + 4 * (u / 2) + u % 2; };
              draw(f, {[&](int r, int c) { return at(mb.y + r, mb.x + c, 0); },
                       [&](int u, int v) { return at(chroma_row(u), mb.x + 2 * v, 3); },
                       [&](int u, int v) { return at(chroma_row(u), mb.x + 2 * v, 1); }},
                   mb.x, mb.y, want);
            }
        EXPECT_TRUE(got == want) << "format " << f;
      }
    }
  }
  pforerror = nullptr;
  EXPECT_TRUE(clip.damaged < 2 || damaged_segments > 0);
  dv_decoder_free(ours), dv_decoder_free(libdv);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, EveryClip,
    testing::Values(Clip{"pal420", [] { return frames("pal420.dv", 0, 50); }},
                    Clip{"pal420_248", [] { return frames("pal420_248.dv", 0, 50); }},
                    Clip{"pal411", [] { return frames("pal411.dv", 0, 50); }},
                    Clip{"ntsc", [] { return frames("ntsc.dv", 0, 50, kNtscFrameBytes); }, kNtscFrameBytes},
                    Clip{"grey", [] { return recoloured(frames("pal420.dv", 3), true); }},
                    Clip{"unstated", [] { return recoloured(frames("pal420.dv", 3), false); }},
                    Clip{"random_damage", [] { return damaged(frames("pal420.dv", 0, 10), true, 1); }, kPalFrameBytes, 2},
                    Clip{"dropouts", [] { return damaged(frames("pal420.dv", 0, 10), false, 2); }, kPalFrameBytes, 1},
                    Clip{"damaged_middle", damaged_middle, kPalFrameBytes, 2, false},
                    Clip{"noise", [] { return spoiled(0); }, kPalFrameBytes, 1, false},
                    Clip{"ones", [] { return spoiled(0xff); }, kPalFrameBytes, 1, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(BlockWork, MatchesLibdvsOwnOnRandomSegmentsAtEveryQuality) {
  dv_decoder_t *libdv = dv_decoder_new(0, 0, 0);  // also builds libdv's tables
  std::mt19937 rng(61834);
  for (unsigned quality : {5u, 1u, 4u})
    for (int round = 0; round < 300; ++round) {
      dv_videosegment_t ours{};
      for (dv_macroblock_t &mb : ours.mb) {
        mb.qno = int(rng() % 16);
        for (dv_block_t &b : mb.b) {
          b.class_no = int(rng() % 4), b.dct_mode = rng() % 6 == 0;
          const int range = rng() % 4 ? 512 : 65536;
          for (dv_coeff_t &c : b.coeffs) c = dv_coeff_t(int(rng() % range) - range / 2);
        }
      }
      dv_videosegment_t theirs = ours;
      transform_segment(&ours, quality, kAllBlocks);
      dv_decode_video_segment(libdv, &theirs, quality);
      for (int m = 0; m < 5; ++m)
        for (int b = 0; b < 6; ++b)
          ASSERT_EQ(std::memcmp(ours.mb[m].b[b].coeffs, theirs.mb[m].b[b].coeffs, 128), 0)
              << "quality " << quality << " round " << round << " block " << m << "," << b;
    }
  dv_decoder_free(libdv);
}

TEST(ColourTables, EveryEntryAndEverySse2EntryFollowTheFormulas) {
  dv_rgb_init();
  const double factors[] = {1634.304, 832.512, 400.384, 2066.432};
  const int32_t *tables[] = {table_1_596, table_0_813, table_0_391, table_2_018};
  for (int t = 0; t < 4; ++t)
    for (int i = -128; i < 128; ++i) EXPECT_EQ(tables[t][i], chroma_term(i, factors[t])) << t << " " << i;
  for (int i = -256; i < 512; ++i) EXPECT_TRUE(ylut[i] == luma_term(i) && rgblut[i] == std::clamp(i, 0, 255)) << i;
  Int32x8 (*const vectors[])(__m128i) = {red_of_cr_x8, green_of_cr_x8, green_of_cb_x8, blue_of_cb_x8, scaled_luma_x8};
  for (int t = 0; t < 5; ++t) {
    int wrong = 0;
    for (int s = -32768; s < 32768; s += 8) {
      alignas(16) int32_t got[8];
      const Int32x8 v = vectors[t](_mm_setr_epi16(s, s + 1, s + 2, s + 3, s + 4, s + 5, s + 6, s + 7));
      _mm_store_si128(reinterpret_cast<__m128i *>(got), v.low);
      _mm_store_si128(reinterpret_cast<__m128i *>(got + 4), v.high);
      for (int i = 0; i < 8; ++i) wrong += got[i] != (t < 4 ? chroma_term(s + i, factors[t]) : luma_term(s + i));
    }
    EXPECT_EQ(wrong, 0) << "vector " << t;
  }
}

// Samples far outside the ranges real frames hold, in the bottom-right macroblock.
TEST(Renderers, CornerMacroblockWithSamplesOfEveryRange) {
  dv_rgb_init();
  std::mt19937 rng(7);
  dv_macroblock_t mb{};
  for (dv_block_t &b : mb.b)
    for (dv_coeff_t &s : b.coeffs) s = dv_coeff_t(rng() % 2 ? int(rng() % 301) - 150 : int16_t(rng()));
  mb.x = 704, mb.y = 560;
  void (*const renderers[])(dv_macroblock_t *, uint8_t **, int) = {
      dv_mb420_b_i,    dv_mb420_b_l,  dv_mb420_b_rgb, dv_mb420_b_ti, dv_mb420_b_tl, dv_mb420_b_trgb,
      dv_mb420_b_hi,   dv_mb420_b_hl, dv_mb420_b_hrgb, dv_mb420_b_qi, dv_mb420_b_ql, dv_mb420_b_qrgb};
  const Samples s{[&](int r, int c) { return mb.b[2 * (r / 8) + c / 8].coeffs[8 * (r % 8) + c % 8]; },
                  [&](int u, int v) { return mb.b[4].coeffs[8 * u + v]; },
                  [&](int u, int v) { return mb.b[5].coeffs[8 * u + v]; }};
  for (int f = 3; f < 15; ++f) {
    Image got(rows_of(f), row_bytes_of(f) + 16), want(rows_of(f), row_bytes_of(f) + 16);
    renderers[f - 3](&mb, got.pixels(), 0);
    draw(f, s, mb.x, mb.y, want);
    EXPECT_TRUE(got == want) << "format " << f;
  }
}

// ---- The segment guard and the reader room, which protect libdv's segment parse. ----

// A segment whose blocks all end at once (EOB) but block b of macroblock m:
// DCT mode `mode`, then AC codes of the given runs (-2: an invalid code), then EOB unless `fill`.
Bytes segment_with(int m, int b, int mode, const std::vector<int> &runs, bool fill = false) {
  Bytes s(400 + 2);
  int at = 0;
  const auto put = [&](unsigned bits, int length) {
    for (int i = length - 1; i >= 0; --i, ++at) s[at >> 3] |= uint8_t(((bits >> i) & 1) << (7 - (at & 7)));
  };
  for (int mb = 0; mb < 5; ++mb)
    for (int blk = 0; blk < 6; ++blk) at = mb * 640 + dv_parse_bit_start[blk], put(0b0110, 4);
  at = m * 640 + dv_parse_bit_start[b] - 3, put(mode, 1), at += 2;
  for (int run : runs) run == 0 ? put(0, 3) : put(0x1f80 | std::max(run, 0), 13);  // run 0: "000"
  if (!fill) put(0b0110, 4);
  return s;
}

TEST(SegmentGuard, AcceptsExactlyTheParsesThatStayInTheirBlockAndTheOrderTable) {
  struct Case {
    int m, b, mode;
    std::vector<int> runs;
    unsigned quality;
    bool in_bounds, fill;
  };
  const std::vector<int> to_128_from_65 = {61, 0}, to_128_from_1 = {61, 61, 0, 0, 0}, exact(29, 0);
  std::vector<int> fills = {15};
  fills.insert(fills.end(), exact.begin(), exact.end());  // 13 + 29 x 3 bits: the block's 100 exactly
  const Case cases[] = {
      {0, 0, 1, to_128_from_65, 5, true, false},  {0, 0, 1, {61, 0, 0}, 5, false, false},
      {0, 0, 0, to_128_from_1, 5, true, false},   {0, 0, 0, {61, 61, 0, 0, 0, 0}, 5, false, false},
      {0, 0, 0, fills, 5, true, true},            {0, 0, 0, {-2}, 5, false, false},
      {4, 5, 0, {-2}, 5, false, false},           {4, 5, 0, {-2}, 3, false, false},
      {4, 5, 0, {-2}, 4, true, false},            {4, 3, 1, {-2}, 4, false, false},
      {2, 1, 0, {-2}, 1, true, false},
  };
  dv_rgb_init();
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  ASSERT_GE(dv_parse_header(dv, frames("pal420.dv", 0).data()), 0);
  Image image(1);
  for (const Case &c : cases) {
    const Bytes s = segment_with(c.m, c.b, c.mode, c.runs, c.fill);
    EXPECT_EQ(ac_parse_stays_in_bounds(s.data(), c.quality), c.in_bounds) << c.m << "," << c.b << " q" << c.quality;
    dv->quality = c.quality;
    EXPECT_EQ(decode_video_segment(dv, s.data(), 3, 4, e_dv_color_rgb, image.pixels(), &image.pitch), c.in_bounds);
  }
  // Frame 7 of damaged_middle carries twelve such segments: reported, and
  // drawn from their DC coefficients without a fault (the clip above).
  const Bytes middle = damaged_middle(), trap(middle.begin() + 7 * kPalFrameBytes, middle.end() - 2 * kPalFrameBytes);
  for (unsigned quality : {5u, 1u}) {
    dv->quality = quality;
    DecodeReport report;
    ozmira::dv_decode_full_frame(dv, trap.data(), e_dv_color_rgb, image.pixels(), &image.pitch, &report);
    EXPECT_EQ(report.damaged_segments, quality == 5 ? 12 : 0);
  }
  dv_decoder_free(dv);
}

// libdv's later passes seek up to 2^29 bytes past a segment, then read on.
TEST(ReaderRoom, CopyIsReadableTwoToThe29BytesAndMoreOn) {
  Bytes s(400);
  for (size_t i = 0; i < s.size(); ++i) s[i] = uint8_t(i * 7);
  const uint8_t *copy = copy_into_reader_room(s.data());
  EXPECT_EQ(std::memcmp(copy, s.data(), 400), 0);
  std::ifstream maps("/proc/self/maps");
  uintptr_t end = 0;
  for (std::string line; std::getline(maps, line);) {
    uintptr_t lo, hi;
    char perms[5];
    unsigned long inode;
    std::sscanf(line.c_str(), "%lx-%lx %4s %*s %*s %lu", &lo, &hi, perms, &inode);
    if (lo <= uintptr_t(copy) && uintptr_t(copy) < hi) end = hi;
    else if (end == lo && std::string(perms) == "r--p" && inode == 0) end = hi;  // the rest of the room
  }
  EXPECT_GE(end - uintptr_t(copy), (size_t{1} << 29) + (size_t{1} << 16));
}

}  // namespace
}  // namespace ozmira::test
