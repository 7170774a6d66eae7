// The frame decoder against independent oracles on every clip, in every format at both qualities, each frame
// ending at an inaccessible page: packed formats are libdv's own decode byte for byte but for the segments
// that hold invalid codes; extended formats follow from the samples (our YUY2, checked first) through the
// BT.601 formulas below; noise frames give samples far outside the ranges, which must be clamped. Our segment
// parser against libdv's on every segment of every clip at every quality and on mutated segments; then the
// kernels against libdv's, checkasm-style, and a frame's sound against libdv's dv_decode_full_audio.
#include <climits>
#include <cmath>
#include <deque>
#include <numeric>
#include "block_work.h"
#include "color_tables.h"
#include "dc_only_blocks.h"
#include "dvlib.h"
#include "frame_audio.h"
#include "frame_decoder.h"
#include "idct_88.h"
#include "mb420_full_size.h"
#include "mb420_packed.h"
#include "mb420_renderers.h"
#include "sample_conversion.h"
#include "test_support.h"

namespace ozmira::test {
namespace {

// Studio range to full range, each product x 1024 rounded alone; samples are component - 128.
int luma_term(int y) { return int(std::rint((std::clamp(y, -112, 107) + 112) * 1191.936)); }
int chroma_term(int c, double f) { return int(std::rint(std::clamp(c, -112, 112) * f)); }
uint8_t component(int sum) { return uint8_t(std::clamp(sum >> 10, 0, 255)); }
// What extended format f draws of the macroblock at (x, y), from the samples that libdv's 4:2:0 YUY2 holds:
// chroma row u of the macroblock lies beside luminance rows 4 (u / 2) + u % 2 and two below that.
void draw(int f, const Image &yuy2, int x, int y, Image &image) {
  const auto at = [&](int row, int col, int k) { return int(yuy2.row[y + row][2 * (x + col) + k]) - 128; };
  const auto lum = [&](int r, int c) { return at(r, c, 0); };
  const auto cr = [&](int u, int v) { return at(4 * (u / 2) + u % 2, 2 * v, 3); };
  const auto cb = [&](int u, int v) { return at(4 * (u / 2) + u % 2, 2 * v, 1); };
  const auto put = [&](int row, int col, int l, int r, int b) {
    const int32_t red = component(luma_term(l) + chroma_term(r, 1634.304));
    uint8_t *p = image.row[row] + (f == 4 || f == 7 ? col : 4 * col);
    if (f == 3 || f == 6)
      std::memcpy(p, &red, 4);
    else if (f == 4 || f == 7)
      *p = f == 4 ? uint8_t(luma_term(l) >> 10) : uint8_t(red);
    else {
      p[0] = uint8_t(red);
      p[1] = component(luma_term(l) - chroma_term(r, 832.512) - chroma_term(b, 400.384));
      p[2] = component(luma_term(l) + chroma_term(b, 2066.432));
      p[3] = 0;
    }
  };
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) {
      const int u = 2 * (r / 4) + r % 2;  // full-size RGB0 takes its chroma rows interlaced
      if (f == 3 || f == 4) put(y + r, x + c, lum(r, c), cr(r / 2, c / 2), 0);
      if (f == 5) put(y + r, x + c, lum(r, c), cr(u, c / 2), cb(u, c / 2));
      if (f == 11 && r % 2 == 0 && c % 2 == 0)
        put((y + r) / 2, (x + c) / 2, lum(r, c), cr(r / 2, c / 2), cb(r / 2, c / 2));
      if (f >= 6 && f <= 8 && r < 2 && c < 4)
        put(y / 8 + r, x / 8 + c, lum(r, c), cr(0, c), cb(0, c));  // thumbnails
    }
}
// Copies the macroblocks of the segments of `frame` that hold invalid codes at dv's quality from `from` into
// `to`, packed images of `bytes` a pixel; returns how many segments that was.
int copy_damaged_segments(dv_decoder_t *dv, const uint8_t *frame, const Image &from, Image &to, int bytes) {
  int damaged = 0;
  dv_videosegment_t where{};
  for (where.i = 0; where.i < dv->num_dif_seqs; ++where.i)
    for (where.k = 0; where.k < 27; ++where.k) {
      if (ParseVideoSegment(frame + segment_at(where.i, where.k), dv->quality, where.mb)) continue;
      ++damaged;
      for (int m = 0; m < 5; ++m) {  // 4:1:1 macroblocks are 32 x 8 but for the right-most column's 16 x 16
        dv_place_macroblock(dv, &where, &where.mb[m], m);
        const int x = where.mb[m].x * bytes, y = where.mb[m].y,
                  wide = dv->sampling == e_dv_sample_411 && x < 704 * bytes;
        for (int r = 0; r < 16 >> wide; ++r)
          std::memcpy(to.row[y + r] + x, from.row[y + r] + x, (16 << wide) * bytes);
      }
    }
  return damaged;
}
struct Clip {
  const char *name;
  std::function<Bytes()> make;
  int damage = 0;     // 0: intact, so no segment may hold invalid codes; 1: some may; 2: some must
  bool libdv = true;  // libdv's own decoder survives these frames
  size_t frame_bytes = kPalFrameBytes;
  friend void PrintTo(const Clip &clip, std::ostream *out) { *out << clip.name; }  // names the CTest test
};
class EveryClip : public testing::TestWithParam<Clip> {};

TEST_P(EveryClip, EveryFormatAtBothQualitiesAgainstTheOracles) {
  const Clip &clip = GetParam();
  const Bytes bytes = clip.make();
  dvinit();
  dv_decoder_t *ours = dv_decoder_new(0, 0, 0), *libdv = dv_decoder_new(0, 0, 0);
  Guarded block(clip.frame_bytes);
  const size_t count = bytes.size() / clip.frame_bytes;
  std::set<size_t> chosen = {count - 1};
  for (size_t n = 0; n < count; n += std::max<size_t>(1, count / 6)) chosen.insert(n);
  LibdvParser parser;  // our parser against libdv's on every segment of every frame at every quality
  int damaged_segments = 0, invalid = 0, flag = 0;
  for (size_t n = 0; n < count; ++n)
    for (int s = 0; s < int(clip.frame_bytes / 12000) * 27; ++s)
      for (unsigned q = 0; q < 8; ++q) {
        bool intact;
        ASSERT_EQ(
            parse_difference(parser, &bytes[n * clip.frame_bytes + segment_at(s / 27, s % 27)], q, intact),
            "")
            << clip.name << " frame " << n << " segment " << s;
        invalid += !intact;
      }
  EXPECT_TRUE(clip.damage > 0 || invalid == 0) << invalid << " segments with invalid codes";
  pforerror = &flag;
  for (size_t n : chosen) {
    Bytes padded(&bytes[n * clip.frame_bytes], &bytes[n * clip.frame_bytes] + clip.frame_bytes);
    std::copy(padded.begin(), padded.end(), block.data());
    padded.resize(clip.frame_bytes + 64);  // libdv's own decoder reads a little past damaged frames
    if (dv_parse_header(ours, block.data()) < 0 || dv_parse_header(libdv, padded.data()) < 0) continue;
    const bool is411 = ours->sampling == e_dv_sample_411;
    dvfile status{};  // dvlib's records of every kind of frame: libdv's own parse of it
    dvframeinfo info{};
    info.size = sizeof info;
    EXPECT_TRUE(dvstatus(block.data(), &status) >= 0 && dvreadinfo(block.data(), &info) == 1);
    EXPECT_TRUE(status.x_size == libdv->width && status.y_size == libdv->height &&
                status.code == libdv->sampling && status.type == dv_frame_is_color(libdv) &&
                info.y_size == libdv->height && info.code == libdv->sampling && info.type == status.type);
    for (unsigned quality : {5u, 1u}) {
      SCOPED_TRACE(testing::Message() << clip.name << " frame " << n << " quality " << quality);
      ours->quality = libdv->quality = quality;
      std::deque<Image> images;
      for (int f = 0; f < 3; ++f) {
        int pitch = 720 * (f + 2) + 24;  // wider than a row: rows must land where the pitch says
        Image &got = images.emplace_back(ours->height, pitch), want(ours->height, pitch);
        DecodeReport report;
        ozmira::DecodeFrame(ours, block.data(), ColorSpace(f), got.pixels(), &pitch, &report);
        Image via(ours->height, pitch);  // dvreadformat, the hosts' way in, draws the same
        EXPECT_TRUE(dvreadformat(block.data(), f, via.pixels(), &pitch, quality == 5 ? 2 : 16) == 1 &&
                    via == got)
            << f;
        if (clip.libdv)
          ::dv_decode_full_frame(libdv, padded.data(), ::dv_color_space_t(f), want.pixels(), &pitch);
        // libdv's but for the segments holding invalid codes and, on damaged clips only, the bytes where
        // libdv's renderers read past their clamp table (ours give 0 or 255 there); the gaps between rows too
        EXPECT_EQ(report.damaged_segments, copy_damaged_segments(ours, block.data(), got, want, f + 2));
        damaged_segments += report.damaged_segments;
        size_t differ = 0;
        for (size_t i = 0; clip.libdv && i < got.mem.size; ++i)
          differ += got.mem.data()[i] != want.mem.data()[i] && !(clip.damage && got.mem.data()[i] % 255 == 0);
        EXPECT_EQ(differ, 0u) << "bytes of format " << f << " unlike libdv's";
      }
      for (int f : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, -1, INT_MIN}) {
        Image got(rows_of(f), row_bytes_of(f) + 16), want(rows_of(f), row_bytes_of(f) + 16);
        flag = 0;
        const Output said = capture(
            [&] { ozmira::DecodeFrame(ours, block.data(), ColorSpace(f), got.pixels(), &got.pitch); });
        const bool mismatch = is411 && f >= 3 && f < 15;  // reported for every macroblock, drawn for none
        std::string messages;
        for (int i = 0; mismatch && i < ours->num_dif_seqs * 27 * 5; ++i) messages += error_mess;
        EXPECT_TRUE(said.out == messages && said.err.empty() && flag == mismatch) << "format " << f;
        dv_videosegment_t where{};  // every macroblock in the decoder's walk order, placed by libdv
        for (where.i = 0; !is411 && where.i < ours->num_dif_seqs; ++where.i)
          for (where.k = 0; where.k < 27; ++where.k)
            for (int m = 0; m < 5; ++m) {
              dv_macroblock_t mb{};
              dv_place_macroblock(ours, &where, &mb, m);
              draw(f, images[0], mb.x, mb.y, want);
            }
        EXPECT_TRUE(got == want) << "format " << f;
        Image via(rows_of(f), row_bytes_of(f) + 16);
        int drew = -1;
        capture(
            [&] { drew = dvreadformat(block.data(), f, via.pixels(), &via.pitch, quality == 5 ? 2 : 16); });
        EXPECT_TRUE(drew == (f >= 3 && f < 15 && !is411) && via == want) << "dvreadformat, format " << f;
      }
    }
  }
  pforerror = nullptr;
  EXPECT_TRUE(clip.damage < 2 || damaged_segments > 0);
  dv_decoder_free(ours);
  dv_decoder_free(libdv);
}
INSTANTIATE_TEST_SUITE_P(
    Clips, EveryClip,
    testing::Values(Clip{"pal420", [] { return frames("pal420.dv", 0, 50); }},
                    Clip{"pal420_248", [] { return frames("pal420_248.dv", 0, 50); }},
                    Clip{"pal411", [] { return frames("pal411.dv", 0, 50); }},
                    Clip{"ntsc", [] { return frames("ntsc.dv", 0, 50, kNtscFrameBytes); }, 0, true,
                         kNtscFrameBytes},
                    Clip{"mandelbrot", [] { return frames("mandelbrot.dv", 0, 50); }},  // codes spill most
                    Clip{"random_damage", [] { return damaged(frames("pal420.dv", 0, 10), true, 1); }, 2},
                    Clip{"dropouts", [] { return damaged(frames("pal420.dv", 0, 10), false, 2); }, 1},
                    Clip{"damaged_middle", damaged_middle, 2, false},
                    Clip{"noise",
                         [] {  // all but the header, subcode and VAUX blocks
                           Bytes f = frames("pal420.dv", 0, 3);
                           for (size_t i = 0; i < f.size(); ++i)
                             f[i] = i % 12000 < 480 ? f[i] : uint8_t(i * 2654435761u >> 13);
                           return f;
                         },
                         1, false}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- Against libdv's own routines, checkasm-style: seeded random inputs, libdv's routine and ours on
// identical copies, outputs byte for byte. Every failure names its seed; OZMIRA_SEED=<seed> replays it. ----
class AgainstLibdv : public testing::Test {
 protected:
  ~AgainstLibdv() override { dv_decoder_free(libdv); }
  dv_decoder_t *libdv = dv_decoder_new(0, 0, 0);  // first: dv_init fills the tables both sides read
  const uint64_t seed =
      getenv("OZMIRA_SEED") ? std::strtoull(getenv("OZMIRA_SEED"), nullptr, 0) : std::random_device{}();
  std::mt19937_64 rng{seed};
  testing::ScopedTrace trace{__FILE__, __LINE__, "OZMIRA_SEED=" + std::to_string(seed)};
  int16_t in(int low, int high) { return int16_t(low + int(rng() % (high - low + 1))); }
  // A 16-bit value of one of four kinds: anywhere, small, a dequantised coefficient (sparse, shifted), at or
  // next to a limit.
  int16_t value(int kind) {
    static constexpr int16_t kEdges[] = {-32768, -32767, -1, 0, 1, 32766, 32767};
    const uint64_t r = rng();
    if (kind == 2) return r % 4 ? 0 : int16_t((int(r >> 8 & 511) - 256) * (1 << (r >> 32 & 7)));
    return kind == 3 && r % 2 ? kEdges[(r >> 8) % 7]
                              : int16_t(kind == 1 ? int(r % 1024) - 512 : int(r >> 16));
  }
};
// Clip segments with 1 to 16 bits flipped, and segments of random bytes; both kinds must be common.
TEST_F(AgainstLibdv, ParserOnMutatedSegmentsWhereverNoCodeIsInvalid) {
  const Bytes clip = frames("mandelbrot.dv", 0, 50);
  LibdvParser parser;
  int compared = 0, rounds = 40000;
  for (int n = 0; n < rounds; ++n) {
    uint8_t s[400];
    const size_t at =
        rng() % (clip.size() / kPalFrameBytes) * kPalFrameBytes + segment_at(rng() % 12, rng() % 27);
    for (int i = 0; i < 400; ++i) s[i] = n % 4 ? clip[at + i] : uint8_t(rng());
    for (int flips = n % 4 ? 1 + rng() % 16 : 0; flips > 0; --flips) s[rng() % 400] ^= 1 << rng() % 8;
    bool intact;
    ASSERT_EQ(parse_difference(parser, s, rng() % 8, intact), "") << "round " << n;
    compared += intact;
  }
  EXPECT_TRUE(compared > rounds / 4 && compared < rounds * 15 / 16) << compared;
}
// Both builds: the SSE2 one on single blocks, the AVX2 one (where the processor has it) on pairs.
TEST_F(AgainstLibdv, InverseDctOnRandomBlocks) {
  const bool avx2 = __builtin_cpu_supports("avx2");
  for (int n = 0; n < 2'000'000; n += 2) {
    alignas(16) dv_coeff_t theirs[2][64], ours[2][64];
    for (int b = 0; b < 2; ++b)
      for (int i = 0, kind = int(rng() % 4); i < 64; ++i) theirs[b][i] = ours[b][i] = value(kind);
    _dv_idct_88(theirs[0]);
    _dv_idct_88(theirs[1]);
    n % 4 && avx2 ? Idct88PairAvx2(ours[0], ours[1]) : (Idct88Sse2(ours[0]), Idct88Sse2(ours[1]));
    ASSERT_EQ(std::memcmp(ours, theirs, sizeof ours), 0) << "blocks " << n << " and " << n + 1;
  }
}
// Our block work and libdv's (dv_decode_video_segment): random segments at every step and class, both DCT
// modes, with and without colour (then the chrominance blocks stay as parsed); then without AC bits, the
// DC-only table for every DC value, mode, step and class, five to a segment.
TEST_F(AgainstLibdv, BlockWorkOnRandomSegmentsAndEveryDc) {
  for (int n = 0; n < 2000 + 2 * 512 * 16 / 5 + 1; ++n) {
    dv_videosegment_t ours{}, theirs;
    const unsigned quality = n >= 2000 ? DV_QUALITY_COLOR : n % 2 ? DV_QUALITY_BEST : DV_QUALITY_AC_2;
    for (int m = 0, dc = (n - 2000) * 5; m < 5; ++m, ++dc) {  // dc: mode, value, step
      ours.mb[m].qno = n < 2000 ? int(rng() % 16) : dc % 16;
      for (int b = 0; b < 6; ++b) {
        dv_block_t &block = ours.mb[m].b[b];
        block.class_no = n < 2000 ? int(rng() % 4) : b % 4;
        block.dct_mode = n < 2000 ? rng() % 6 == 0 : dc / 8192 % 2;
        for (dv_coeff_t &c : block.coeffs) c = n < 2000 ? value(int(rng() % 4)) : 0;
        block.coeffs[0] = n < 2000 ? block.coeffs[0] : dv_coeff_t(dc / 16 % 512 - 256);
      }
    }
    theirs = ours;
    TransformSegment(&ours, quality, kAllBlocks);
    dv_decode_video_segment(libdv, &theirs, quality);
    for (int i = 0; i < 30; ++i)
      ASSERT_EQ(std::memcmp(ours.mb[i / 6].b[i % 6].coeffs, theirs.mb[i / 6].b[i % 6].coeffs, 128), 0)
          << "segment " << n << ", quality " << quality << ", macroblock " << i / 6 << ", block " << i % 6;
  }
}
// Random macroblocks at every position, in random order (a write outside its own 16 x 16 pixels shows), into
// pictures with room around them; the macroblock is only read. Their samples are those for which libdv reads
// inside its clamp table (mb420_packed.h): studio luminance with any colour, luminance below black with blue,
// up to 253 with mild colour, or DC-only blocks (whose rows repeat).
TEST_F(AgainstLibdv, PackedRenderersAtEveryPosition) {
  using Render = void (*)(dv_macroblock_t *, uint8_t **, int *);
  using Planned = void (*)(dv_macroblock_t *, uint8_t **, int *, const DcOnlyRowPlan *);
  const struct {
    Render theirs, ours;
    Planned planned;
    int bytes;
  } formats[] = {{dv_mb420_YUY2, Mb420PackedYuy2, nullptr, 2},
                 {dv_mb420_rgb, Mb420PackedRgb, Mb420PackedRgbDcOnly, 3},
                 {dv_mb420_bgr0, Mb420PackedBgr0, Mb420PackedBgr0DcOnly, 4}};
  std::vector<int> places(45 * 36);
  std::iota(places.begin(), places.end(), 0);
  for (const auto &format : formats) {
    int pitch = 720 * format.bytes;
    Bytes theirs(size_t(pitch) * 576 + 128), ours = theirs;
    uint8_t *picture[2] = {&theirs[64], &ours[64]};
    std::shuffle(places.begin(), places.end(), rng);
    for (int place : places) {
      dv_macroblock_t mb{};
      mb.x = place % 45 * 16;
      mb.y = place / 45 * 16;
      const int kind = int(rng() % 4);  // 3: DC-only blocks, drawn by their row plan where the format has one
      int shapes[6];
      for (int b = 0; b < 6; ++b) {
        for (dv_coeff_t &c : mb.b[b].coeffs)
          c = b < 4       ? kind == 0   ? in(-110, 107)
                            : kind == 1 ? in(-300, 107)
                                        : in(-32768, 253)
                    : kind == 0 ? value(int(rng() % 2))
                          : in(-43, kind == 1 && b == 5 ? 127 : 43);
        if (kind == 3) {
          mb.b[b].coeffs[0] = b < 4 ? in(-220, 214) : in(-256, 255);
          mb.b[b].dct_mode = rng() % 2;
          shapes[b] = FillDcOnlyBlock(&mb.b[b]);
        }
      }
      dv_macroblock_t copy = mb;
      format.theirs(&mb, &picture[0], &pitch);
      if (kind == 3 && format.planned)
        format.planned(&copy, &picture[1], &pitch, DcOnlyRowPlanOf(shapes));
      else
        format.ours(&copy, &picture[1], &pitch);
      ASSERT_EQ(std::memcmp(&mb, &copy, sizeof mb), 0)
          << "macroblock at " << mb.x << ", " << mb.y << " changed";
    }
    EXPECT_TRUE(ours == theirs) << format.bytes << "-byte pixels";
  }
}

// Renderers against another build or the tables (the clips check the build this machine runs) on random
// macroblocks at every position of the picture, in turn: full-size RGB0 and packed RGB, SSE2 against AVX2;
// half size against the table formulas.
TEST_F(AgainstLibdv, RendererBuildsAgree) {
  dvinit();  // builds the tables
  const auto packed = [](auto render) {
    return [render](dv_macroblock_t *mb, uint8_t **rows, int) {
      int pitch = int(rows[1] - rows[0]);
      render(mb, rows, &pitch);
    };
  };
  const auto half_by_tables = [](dv_macroblock_t *mb, uint8_t **rows, int) {
    for (int p = 0; p < 8; ++p)
      for (int q = 0; q < 8; ++q)
        put_rgb0(rows[mb->y / 2 + p] + 4 * (mb->x / 2 + q), scaled_luma(luma_sample(mb, 2 * p, 2 * q)),
                 chroma_terms(mb->b[4].coeffs[8 * p + q], mb->b[5].coeffs[8 * p + q]));
  };
  const std::function<void(dv_macroblock_t *, uint8_t **, int)> pairs[][2] = {
      {Mb420RowsRgbSse2, Mb420RowsRgbAvx2},
      {packed(Mb420PackedRgbSse2), packed(Mb420PackedRgbAvx2)},
      {half_by_tables, Mb420RowsHrgb}};
  for (int k = __builtin_cpu_supports("avx2") ? 0 : 2; k < 3; ++k) {
    Image pictures[2] = {Image(576, 2880), Image(576, 2880)};
    for (int n = 0; n < 20000; ++n) {  // every one of the 45 x 36 positions, in turn
      dv_macroblock_t mb{};
      mb.x = 16 * (n % 45);
      mb.y = 16 * (n / 45 % 36);
      for (auto &block : mb.b)
        for (dv_coeff_t &c : block.coeffs) c = n % 2 ? in(-32768, 32767) : in(-130, 130);
      pairs[k][0](&mb, pictures[0].pixels(), 0);
      pairs[k][1](&mb, pictures[1].pixels(), 0);
    }
    EXPECT_TRUE(pictures[0] == pictures[1]) << "renderers " << k;
  }
}

// ---- A frame's sound: libdv's own decode at each rate and in 12 bits; packs that would lead libdv astray
// refused. ----

constexpr size_t kSourcePack = 6 * 80 + 3 * 16 * 80 + 3, kControlPack = kSourcePack + 16 * 80;
constexpr size_t kSecondPair = 6 * 12000 + kSourcePack;  // the 12-bit mode's second pair, six sequences on
int16_t pcm[kMaxAudioChannels * kMaxAudioSamplesPerFrame];
// Frames of the 32 kHz clip marked 12-bit non-linear (in every source pack), with their second pair or with
// none.
Bytes twelve_bit(bool second_pair) {
  Bytes f = frames("sound32000.dv", 0, 50);
  for (size_t sequence = 0; sequence < f.size(); sequence += 12000)
    for (size_t pack = sequence + 6 * 80 + 3; pack < sequence + 12000; pack += 16 * 80)  // each audio block's
      if (f[pack] == 0x50) f[pack + 4] = (f[pack + 4] & 0xf8) | 1;
  for (size_t n = 0; !second_pair && n < f.size(); n += kPalFrameBytes)
    f[n + kSecondPair + 2] |= 0x0f;  // none recorded
  return f;
}
// Frames whose source pack at `pack` states `samples` samples more than the fewest of its rate.
Bytes stating(Bytes f, size_t pack, uint8_t samples) {
  for (size_t n = 0; n < f.size(); n += kPalFrameBytes) f[n + pack + 1] = (f[n + pack + 1] & 0xc0) | samples;
  return f;
}
// DecodeFrameAudio on a copy of `frame` that ends at an inaccessible page; what it prints goes to `said`.
int decode_sound(const uint8_t *frame, size_t bytes, AudioFormat &format, std::string &said) {
  Guarded block(bytes);
  int samples = -1;
  said = capture([&] { samples = DecodeFrameAudio(block.fill(frame, bytes), bytes, format, pcm); }).err;
  return samples;
}
TEST(FrameAudio, EveryFrameAsLibdvDecodesItAtEachRateAndIn12Bits) {
  const struct {
    const char *name;
    Bytes frames;
    int rate, channels, bits, samples;
  } clips[] = {{"48 kHz", frames("sound48000.dv", 0, 50), 48000, 2, 16, 1920},
               {"44.1 kHz", frames("sound44100.dv", 0, 50), 44100, 2, 16, 1764},
               {"32 kHz", frames("sound32000.dv", 0, 50), 32000, 2, 16, 1280},
               {"12-bit, two pairs", twelve_bit(true), 32000, 4, 12, 1280},
               {"12-bit, one pair", twelve_bit(false), 32000, 2, 12, 1280},
               {"48 kHz, the most a frame holds", stating(frames("sound48000.dv", 0, 50), kSourcePack, 48),
                48000, 2, 16, 1944},
               {"12-bit, the second pair one sample shorter", stating(twelve_bit(true), kSecondPair, 15),
                32000, 4, 12, 1279}};
  static int16_t planar[kMaxAudioChannels][kMaxAudioSamplesPerFrame];
  int16_t *outbufs[] = {planar[0], planar[1], planar[2], planar[3]};
  for (const auto &clip : clips) {
    dv_decoder_t *libdv = dv_decoder_new(0, 0, 0);
    dv_set_error_log(libdv, nullptr);  // both pairs as recorded
    dv_set_mixing_level(libdv, 16);
    for (size_t n = 0; n < clip.frames.size() / kPalFrameBytes; ++n) {
      const uint8_t *frame = &clip.frames[n * kPalFrameBytes];
      AudioFormat format;
      std::string said;
      const int samples = decode_sound(frame, kPalFrameBytes, format, said);
      ASSERT_TRUE(dv_parse_header(libdv, frame) >= 0 && dv_decode_full_audio(libdv, frame, outbufs));
      dvframeinfo info{};  // dvlib's facts of the frame say what the decode gives
      info.size = sizeof info;
      dvreadinfo(frame, &info);
      bool same = samples == clip.samples && format.rate == clip.rate && format.channels == clip.channels &&
                  format.quantisation == clip.bits && said.empty() && info.audio_samples == samples &&
                  info.audio_rate == clip.rate && info.audio_channels == clip.channels &&
                  info.audio_bits == clip.bits;
      for (int i = 0; same && i < samples * clip.channels; ++i)
        same = pcm[i] == planar[i % clip.channels][i / clip.channels];
      EXPECT_TRUE(same) << clip.name << ", frame " << n << ": " << samples << " samples at " << format.rate;
    }
    dv_decoder_free(libdv);
  }
}
TEST(FrameAudio, PacksThatWouldLeadLibdvAstrayGiveNoSoundAndNoWord) {
  dvinit();
  const Bytes pal = frames("sound48000.dv"), twelve = twelve_bit(true), silent = frames("pal420.dv");
  const size_t source = kSourcePack, second = kSecondPair;
  struct Edit {
    size_t at;
    uint8_t keep, set;
  };
  const struct {
    const char *what;
    const Bytes &frame;
    std::vector<Edit> edits;
    size_t bytes = kPalFrameBytes;
  } cases[] = {
      {"source pack id", pal, {{source, 0, 0x51}}},
      {"control pack id", pal, {{kControlPack, 0, 0x50}}},
      {"60 fields in the source pack", pal, {{source + 3, 0xdf, 0}}},
      {"a block a byte short", pal, {}, kPalFrameBytes - 1},
      {"three bytes", pal, {}, 3},
      {"60 fields by the DSF bit and the packs, 50 by the VAUX", pal, {{3, 0x7f, 0}, {source + 3, 0xdf, 0}}},
      {"sampling code 3", pal, {{source + 4, 0xc7, 3 << 3}}},
      {"quantisation code 2", pal, {{source + 4, 0xf8, 2}}},
      {"12 bits at 48 kHz", pal, {{source + 4, 0xf8, 1}, {second + 2, 0xf0, 0x0f}}},
      {"1945 samples", pal, {{source + 1, 0xc0, 49}}},
      {"not normal speed", pal, {{kControlPack + 3, 0x80, 0x10}}},
      {"a header that does not parse", pal, {{0, 0, 0xff}}},
      {"second pair at 60 fields", twelve, {{second + 3, 0xdf, 0}}},
      {"second pair of 1297 samples", twelve, {{second + 1, 0xc0, 33}}},
      {"no sound", silent, {}}};
  for (const auto &c : cases) {
    AudioFormat format;
    std::string said;
    decode_sound(c.frame.data(), kPalFrameBytes, format, said);  // the decoder's last frame: the intact one
    Bytes frame(c.frame.begin(), c.frame.begin() + kPalFrameBytes);
    for (const Edit &e : c.edits) frame[e.at] = (frame[e.at] & e.keep) | e.set;
    std::fill(std::begin(pcm), std::end(pcm), 0x5a5a);
    format = {};
    EXPECT_EQ(decode_sound(frame.data(), c.bytes, format, said), 0) << c.what;
    dvframeinfo info{};  // nor from dvlib, whose picture comes with no word of libdv's either
    info.size = sizeof info;
    if (c.bytes == kPalFrameBytes && dvreadinfo(frame.data(), &info) == 1) {
      Bytes rgb(kPalFrameBytes * 9);
      said = capture([&] {
               EXPECT_TRUE(dvreadblock(frame.data(), rgb.data(), 2, 0) == 1 &&
                           dvreadaudio(frame.data(), pcm, nullptr, nullptr) == 0);
             }).err;
    }
    EXPECT_TRUE(said.empty() && info.audio_channels == 0 && format.rate == 0 &&
                std::all_of(std::begin(pcm), std::end(pcm), [](int v) { return v == 0x5a5a; }))
        << c.what << ": " << said;
  }
  AudioFormat format;  // and no frame or no room
  EXPECT_EQ(DecodeFrameAudio(nullptr, kPalFrameBytes, format, pcm) +
                DecodeFrameAudio(pal.data(), kPalFrameBytes, format, nullptr),
            0);
}

}  // namespace
}  // namespace ozmira::test
