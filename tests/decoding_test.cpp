// The frame decoder, its kernels and its sound against libdv and the BT.601 formulas.
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
#include "idct_248.h"
#include "idct_88.h"
#include "mb420_full_size.h"
#include "mb420_packed.h"
#include "mb420_renderers.h"
#include "sample_conversion.h"
#include "test_support.h"

namespace ozmira::test {
namespace {

constexpr size_t kPal = kPalFrameBytes, kNtsc = kNtscFrameBytes;

// Studio to full range, x 1024.
int luma_term(int y) { return int(std::rint((std::clamp(y, -112, 107) + 112) * 1191.936)); }
int chroma_term(int c, double f) { return int(std::rint(std::clamp(c, -112, 112) * f)); }
uint8_t component(int sum) { return uint8_t(std::clamp(sum >> 10, 0, 255)); }
// What extended format f draws of the macroblock at (x, y), from libdv's YUY2.
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
      const int u = 2 * (r / 4) + r % 2;
      if (f == 3 || f == 4) put(y + r, x + c, lum(r, c), cr(r / 2, c / 2), 0);
      if (f == 5) put(y + r, x + c, lum(r, c), cr(u, c / 2), cb(u, c / 2));
      if (f == 11 && r % 2 == 0 && c % 2 == 0)
        put((y + r) / 2, (x + c) / 2, lum(r, c), cr(r / 2, c / 2), cb(r / 2, c / 2));
      if (f >= 6 && f <= 8 && r < 2 && c < 4) put(y / 8 + r, x / 8 + c, lum(r, c), cr(0, c), cb(0, c));
    }
}
// Copies the segments holding invalid codes; returns how many.
int copy_damaged_segments(dv_decoder_t *dv, const uint8_t *frame, const Image &from, Image &to, int bytes) {
  int damaged = 0;
  dv_videosegment_t where{};
  for (where.i = 0; where.i < dv->num_dif_seqs; ++where.i)
    for (where.k = 0; where.k < 27; ++where.k) {
      if (ParseVideoSegment(frame + segment_at(where.i, where.k), dv->quality, where.mb)) continue;
      ++damaged;
      for (int m = 0; m < 5; ++m) {
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
  int damage = 0;  // invalid codes: 0 none, 1 may, 2 must
  bool libdv = true;
  size_t frame_bytes = kPal;
  friend void PrintTo(const Clip &clip, std::ostream *out) { *out << clip.name; }
};
class EveryClip : public testing::TestWithParam<Clip> {};

// Every format, both qualities, every segment.
TEST_P(EveryClip, AgainstTheOracles) {
  const Clip &clip = GetParam();
  const Bytes bytes = clip.make();
  dvinit();
  dv_decoder_t *ours = dv_decoder_new(0, 0, 0), *libdv = dv_decoder_new(0, 0, 0);
  Guarded block(clip.frame_bytes);
  const size_t count = bytes.size() / clip.frame_bytes;
  std::set<size_t> chosen = {count - 1};
  for (size_t n = 0; n < count; n += std::max<size_t>(1, count / 6)) chosen.insert(n);
  LibdvParser parser;
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
    padded.resize(clip.frame_bytes + 64);
    if (dv_parse_header(ours, block.data()) < 0 || dv_parse_header(libdv, padded.data()) < 0) continue;
    const bool is411 = ours->sampling == e_dv_sample_411;
    dvfile status{};
    int parsed = 0;
    const dvframeinfo info = info_of(block.data(), &parsed);
    EXPECT_TRUE(dvstatus(block.data(), &status) >= 0 && parsed == 1);
    EXPECT_TRUE(status.x_size == libdv->width && status.y_size == libdv->height &&
                status.code == libdv->sampling && status.type == dv_frame_is_color(libdv) &&
                info.y_size == libdv->height && info.code == libdv->sampling && info.type == status.type);
    for (unsigned quality : {5u, 1u}) {
      SCOPED_TRACE(testing::Message() << clip.name << " frame " << n << " quality " << quality);
      ours->quality = libdv->quality = quality;
      std::deque<Image> images;
      for (int f = 0; f < 3; ++f) {
        int pitch = 720 * (f + 2) + 24;
        Image &got = images.emplace_back(ours->height, pitch), want(ours->height, pitch);
        DecodeReport report;
        ozmira::DecodeFrame(ours, block.data(), ColorSpace(f), got.pixels(), &pitch, &report);
        Image via(ours->height, pitch);
        EXPECT_TRUE(dvreadformat(block.data(), f, via.pixels(), &pitch, quality == 5 ? 2 : 16) == 1 &&
                    via == got)
            << f;
        if (clip.libdv)
          ::dv_decode_full_frame(libdv, padded.data(), ::dv_color_space_t(f), want.pixels(), &pitch);
        // but where codes are invalid, or libdv reads past its clamp table
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
        const bool mismatch = is411 && f >= 3 && f < 15;
        std::string messages;
        for (int i = 0; mismatch && i < ours->num_dif_seqs * 27 * 5; ++i) messages += error_mess;
        EXPECT_TRUE(said.out == messages && said.err.empty() && flag == mismatch) << "format " << f;
        dv_videosegment_t where{};
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
                    Clip{"ntsc", [] { return frames("ntsc.dv", 0, 50, kNtsc); }, 0, true, kNtsc},
                    Clip{"mandelbrot", [] { return frames("mandelbrot.dv", 0, 50); }},
                    Clip{"random_damage", [] { return damaged(frames("pal420.dv", 0, 10), true, 1); }, 2},
                    Clip{"dropouts", [] { return damaged(frames("pal420.dv", 0, 10), false, 2); }, 1},
                    Clip{"damaged_middle", damaged_middle, 2, false},
                    Clip{"noise",
                         [] {
                           Bytes f = frames("pal420.dv", 0, 3);
                           for (size_t i = 0; i < f.size(); ++i)
                             f[i] = i % 12000 < 480 ? f[i] : uint8_t(i * 2654435761u >> 13);
                           return f;
                         },
                         1, false}),
    [](const auto &info) { return std::string(info.param.name); });

// Kernels against libdv's; OZMIRA_SEED=<seed> replays a failure.
class AgainstLibdv : public testing::Test {
 protected:
  ~AgainstLibdv() override { dv_decoder_free(libdv); }
  dv_decoder_t *libdv = dv_decoder_new(0, 0, 0);
  const uint64_t seed =
      getenv("OZMIRA_SEED") ? std::strtoull(getenv("OZMIRA_SEED"), nullptr, 0) : std::random_device{}();
  std::mt19937_64 rng{seed};
  testing::ScopedTrace trace{__FILE__, __LINE__, "OZMIRA_SEED=" + std::to_string(seed)};
  int16_t in(int low, int high) { return int16_t(low + int(rng() % (high - low + 1))); }
  int16_t value(int kind) {
    static constexpr int16_t kEdges[] = {-32768, -32767, -1, 0, 1, 32766, 32767};
    const uint64_t r = rng();
    if (kind == 2) return r % 4 ? 0 : int16_t((int(r >> 8 & 511) - 256) * (1 << (r >> 32 & 7)));
    return kind == 3 && r % 2 ? kEdges[(r >> 8) % 7]
                              : int16_t(kind == 1 ? int(r % 1024) - 512 : int(r >> 16));
  }
};
// Mutated and random segments.
TEST_F(AgainstLibdv, ParserOnMutatedSegments) {
  const Bytes clip = frames("mandelbrot.dv", 0, 50);
  LibdvParser parser;
  int compared = 0, rounds = 40000;
  for (int n = 0; n < rounds; ++n) {
    uint8_t s[400];
    const size_t at = rng() % (clip.size() / kPal) * kPal + segment_at(rng() % 12, rng() % 27);
    for (int i = 0; i < 400; ++i) s[i] = n % 4 ? clip[at + i] : uint8_t(rng());
    for (int flips = n % 4 ? 1 + rng() % 16 : 0; flips > 0; --flips) s[rng() % 400] ^= 1 << rng() % 8;
    bool intact;
    ASSERT_EQ(parse_difference(parser, s, rng() % 8, intact), "") << "round " << n;
    compared += intact;
  }
  EXPECT_TRUE(compared > rounds / 4 && compared < rounds * 15 / 16) << compared;
}
// Both builds, each with and without the dequantiser's factors (powers of two, 0 for shifts past 15).
TEST_F(AgainstLibdv, InverseDctOnRandomBlocks) {
  const bool avx2 = __builtin_cpu_supports("avx2");
  for (int n = 0; n < 2'000'000; n += 2) {
    alignas(16) dv_coeff_t theirs[2][64], ours[2][64];
    alignas(16) int16_t factors[2][64];
    for (int b = 0; b < 2; ++b)
      for (int i = 0, kind = int(rng() % 4); i < 64; ++i) {
        ours[b][i] = value(kind);
        factors[b][i] = n % 3 ? int16_t(uint16_t(1u << (rng() % 17))) : 1;
        theirs[b][i] = dv_coeff_t(ours[b][i] * factors[b][i]);
      }
    _dv_idct_88(theirs[0]);
    _dv_idct_88(theirs[1]);
    const int16_t *first = n % 3 ? factors[0] : nullptr, *second = n % 3 ? factors[1] : nullptr;
    if (n % 4 && avx2) {
      Idct88PairAvx2(ours[0], ours[1], first, second);
    } else {
      Idct88Sse2(ours[0], first);
      Idct88Sse2(ours[1], second);
    }
    ASSERT_EQ(std::memcmp(ours, theirs, sizeof ours), 0) << "blocks " << n << " and " << n + 1;
  }
}
// Every quantisation step and class with libdv's factors, and random factors
// for the transform's whole 32-bit range.
TEST_F(AgainstLibdv, Transform248OnRandomBlocks) {
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2";
  for (int n = 0; n < 400'000; ++n) {
    alignas(16) dv_coeff_t ours[64], theirs[64];
    dv_248_coeff_t scaled[64];
    int32_t random_factors[64];
    const int qno = n % 16, klass = n / 16 % 4, kind = int(rng() % 4);
    const int32_t *factors =
        n % 2 ? dv_quant_248_mul_tab[klass == 3][qno + dv_quant_offset[klass]] : random_factors;
    for (int i = 0; i < 64; ++i) {
      ours[i] = value(kind);
      random_factors[i] = int32_t(rng());
      scaled[i] = int32_t(uint32_t(ours[i]) * uint32_t(factors[i]));
    }
    dv_idct_248(scaled, theirs);
    Transform248Avx2(ours, factors);
    ASSERT_EQ(std::memcmp(ours, theirs, sizeof ours), 0) << "block " << n;
  }
}
// Random segments, then every DC value.
TEST_F(AgainstLibdv, BlockWork) {
  for (int n = 0; n < 2000 + 2 * 512 * 16 / 5 + 1; ++n) {
    dv_videosegment_t ours{}, theirs;
    const unsigned quality = n >= 2000 ? DV_QUALITY_COLOR : n % 2 ? DV_QUALITY_BEST : DV_QUALITY_AC_2;
    for (int m = 0, dc = (n - 2000) * 5; m < 5; ++m, ++dc) {
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
// Random macroblocks at every position, in samples libdv clamps right.
TEST_F(AgainstLibdv, PackedRenderers) {
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
      const int kind = int(rng() % 4);
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

// Renderers' SSE2 and AVX2 builds, and half size against the tables, at every position.
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
  // DC-only blocks of either DCT mode, drawn by their row plan.
  const auto dc_only = [](auto render) {
    return [render](dv_macroblock_t *mb, uint8_t **rows, int) {
      dv_macroblock_t filled = *mb;
      int shapes[6];
      for (int b = 0; b < 6; ++b) {
        filled.b[b].dct_mode = mb->b[b].coeffs[1] & 1;
        shapes[b] = FillDcOnlyBlock(&filled.b[b]);
      }
      int pitch = int(rows[1] - rows[0]);
      render(&filled, rows, &pitch, DcOnlyRowPlanOf(shapes));
    };
  };
  using Render = std::function<void(dv_macroblock_t *, uint8_t **, int)>;
  const bool avx2 = __builtin_cpu_supports("avx2");
  const bool avx512 = avx2 && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  const struct {
    Render builds[2];
    bool available;
  } pairs[] = {{{Mb420RowsRgbSse2, Mb420RowsRgbAvx2}, avx2},
               {{packed(Mb420PackedRgbSse2), packed(Mb420PackedRgbAvx2)}, avx2},
               {{packed(Mb420PackedRgbAvx2), packed(Mb420PackedRgbAvx512)}, avx512},
               {{dc_only(Mb420PackedRgbDcOnlySse2), dc_only(Mb420PackedRgbDcOnlyAvx2)}, avx2},
               {{dc_only(Mb420PackedRgbDcOnlyAvx2), dc_only(Mb420PackedRgbDcOnlyAvx512)}, avx512},
               {{half_by_tables, Mb420RowsHrgb}, true}};
  for (int k = 0; k < int(std::size(pairs)); ++k) {
    if (!pairs[k].available) continue;
    Image pictures[2] = {Image(576, 2880), Image(576, 2880)};
    for (int n = 0; n < 20000; ++n) {
      dv_macroblock_t mb{};
      mb.x = 16 * (n % 45);
      mb.y = 16 * (n / 45 % 36);
      for (auto &block : mb.b)
        for (dv_coeff_t &c : block.coeffs) c = n % 2 ? in(-32768, 32767) : in(-130, 130);
      pairs[k].builds[0](&mb, pictures[0].pixels(), 0);
      pairs[k].builds[1](&mb, pictures[1].pixels(), 0);
    }
    EXPECT_TRUE(pictures[0] == pictures[1]) << "renderers " << k;
  }
}

constexpr size_t kSourcePack = 6 * 80 + 3 * 16 * 80 + 3, kControlPack = kSourcePack + 16 * 80;
constexpr size_t kSecondPair = 6 * 12000 + kSourcePack;
int16_t pcm[kMaxAudioChannels * kMaxAudioSamplesPerFrame];
Bytes twelve_bit(bool second_pair) {
  Bytes f = frames("sound32000.dv", 0, 50);
  for (size_t sequence = 0; sequence < f.size(); sequence += 12000)
    for (size_t pack = sequence + 6 * 80 + 3; pack < sequence + 12000; pack += 16 * 80)
      if (f[pack] == 0x50) f[pack + 4] = (f[pack + 4] & 0xf8) | 1;
  for (size_t n = 0; !second_pair && n < f.size(); n += kPal) f[n + kSecondPair + 2] |= 0x0f;
  return f;
}
Bytes stating(Bytes f, size_t pack, uint8_t samples) {
  for (size_t n = 0; n < f.size(); n += kPal) f[n + pack + 1] = (f[n + pack + 1] & 0xc0) | samples;
  return f;
}
int decode_sound(const uint8_t *frame, size_t bytes, AudioFormat &format, std::string &said) {
  Guarded block(bytes);
  int samples = -1;
  said = capture([&] { samples = DecodeFrameAudio(block.fill(frame, bytes), bytes, format, pcm); }).err;
  return samples;
}
// Sound as libdv decodes it.
TEST(FrameAudio, EveryFrameAsLibdv) {
  const struct {
    const char *name;
    Bytes frames;
    int rate, channels, bits, samples;
  } clips[] = {{"48 kHz", frames("sound48000.dv", 0, 50), 48000, 2, 16, 1920},
               {"44.1 kHz", frames("sound44100.dv", 0, 50), 44100, 2, 16, 1764},
               {"32 kHz", frames("sound32000.dv", 0, 50), 32000, 2, 16, 1280},
               {"12-bit", twelve_bit(true), 32000, 4, 12, 1280},
               {"12-bit, one pair", twelve_bit(false), 32000, 2, 12, 1280},
               {"1944", stating(frames("sound48000.dv", 0, 50), kSourcePack, 48), 48000, 2, 16, 1944},
               {"12-bit, 1279", stating(twelve_bit(true), kSecondPair, 15), 32000, 4, 12, 1279}};
  static int16_t planar[kMaxAudioChannels][kMaxAudioSamplesPerFrame];
  int16_t *outbufs[] = {planar[0], planar[1], planar[2], planar[3]};
  for (const auto &clip : clips) {
    dv_decoder_t *libdv = dv_decoder_new(0, 0, 0);
    dv_set_error_log(libdv, nullptr);
    dv_set_mixing_level(libdv, 16);
    for (size_t n = 0; n < clip.frames.size() / kPal; ++n) {
      const uint8_t *frame = &clip.frames[n * kPal];
      AudioFormat format;
      std::string said;
      const int samples = decode_sound(frame, kPal, format, said);
      ASSERT_TRUE(dv_parse_header(libdv, frame) >= 0 && dv_decode_full_audio(libdv, frame, outbufs));
      const dvframeinfo info = info_of(frame);
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
// Bad packs: no sound, no word.
TEST(FrameAudio, BadPacksGiveNoSound) {
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
    size_t bytes = kPal;
  } cases[] = {{"source id", pal, {{source, 0, 0x51}}},
               {"control id", pal, {{kControlPack, 0, 0x50}}},
               {"source 60", pal, {{source + 3, 0xdf, 0}}},
               {"short", pal, {}, kPal - 1},
               {"3 bytes", pal, {}, 3},
               {"VAUX 50", pal, {{3, 0x7f, 0}, {source + 3, 0xdf, 0}}},
               {"rate 3", pal, {{source + 4, 0xc7, 3 << 3}}},
               {"bits 2", pal, {{source + 4, 0xf8, 2}}},
               {"12 at 48", pal, {{source + 4, 0xf8, 1}, {second + 2, 0xf0, 0x0f}}},
               {"1945", pal, {{source + 1, 0xc0, 49}}},
               {"speed", pal, {{kControlPack + 3, 0x80, 0x10}}},
               {"header", pal, {{0, 0, 0xff}}},
               {"second 60", twelve, {{second + 3, 0xdf, 0}}},
               {"second 1297", twelve, {{second + 1, 0xc0, 33}}},
               {"silent", silent, {}}};
  for (const auto &c : cases) {
    AudioFormat format;
    std::string said;
    decode_sound(c.frame.data(), kPal, format, said);
    Bytes frame(c.frame.begin(), c.frame.begin() + kPal);
    for (const Edit &e : c.edits) frame[e.at] = (frame[e.at] & e.keep) | e.set;
    std::fill(std::begin(pcm), std::end(pcm), 0x5a5a);
    format = {};
    EXPECT_EQ(decode_sound(frame.data(), c.bytes, format, said), 0) << c.what;
    int parsed = 0;
    const dvframeinfo info = c.bytes == kPal ? info_of(frame, &parsed) : dvframeinfo{};
    if (parsed == 1) {
      Bytes rgb(kPal * 9);
      said = capture([&] {
               EXPECT_TRUE(dvreadblock(frame.data(), rgb.data(), 2, 0) == 1 &&
                           dvreadaudio(frame.data(), pcm, nullptr, nullptr) == 0);
             }).err;
    }
    EXPECT_TRUE(said.empty() && info.audio_channels == 0 && format.rate == 0 &&
                std::all_of(std::begin(pcm), std::end(pcm), [](int v) { return v == 0x5a5a; }))
        << c.what << ": " << said;
  }
  AudioFormat format;
  EXPECT_EQ(
      DecodeFrameAudio(nullptr, kPal, format, pcm) + DecodeFrameAudio(pal.data(), kPal, format, nullptr), 0);
}

}  // namespace
}  // namespace ozmira::test
