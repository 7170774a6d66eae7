// The frame decoder against independent oracles on every clip, in every format at both qualities, each frame ending
// at an inaccessible page: packed formats are libdv's own decode byte for byte, or where it reports damaged segments
// libdv's DC-only decode; extended formats follow from the samples (our YUY2, checked first) through the BT.601
// formulas below; noise frames give samples far outside the ranges, which must be clamped. Then the segment guard and
// the reader room, which go with libdv's segment parse, and a frame's sound against libdv's dv_decode_full_audio.
#include <climits>
#include <cmath>
#include <deque>
#include "color_tables.h"
#include "dvlib.h"
#include "frame_audio.h"
#include "frame_decoder.h"
#include "libdv_internal.h"
#include "reader_room.h"
#include "segment_guard.h"
#include "test_support.h"

namespace ozmira::test {
namespace {

// Studio range to full range, each product x 1024 rounded alone; samples are component - 128.
int luma_term(int y) { return int(std::rint((std::clamp(y, -112, 107) + 112) * 1191.936)); }
int chroma_term(int c, double f) { return int(std::rint(std::clamp(c, -112, 112) * f)); }
uint8_t component(int sum) { return uint8_t(std::clamp(sum >> 10, 0, 255)); }
// What extended format f draws of the macroblock at (x, y), from the samples that libdv's 4:2:0 YUY2 holds: chroma
// row u of the macroblock lies beside luminance rows 4 (u / 2) + u % 2 and two below that.
void draw(int f, const Image &yuy2, int x, int y, Image &image) {
  const auto at = [&](int row, int col, int k) { return int(yuy2.row[y + row][2 * (x + col) + k]) - 128; };
  const auto lum = [&](int r, int c) { return at(r, c, 0); };
  const auto cr = [&](int u, int v) { return at(4 * (u / 2) + u % 2, 2 * v, 3); };
  const auto cb = [&](int u, int v) { return at(4 * (u / 2) + u % 2, 2 * v, 1); };
  const auto put = [&](int row, int col, int l, int r, int b) {
    const int32_t red = component(luma_term(l) + chroma_term(r, 1634.304));
    uint8_t *p = image.row[row] + (f == 4 || f == 7 ? col : 4 * col);
    if (f == 3 || f == 6) std::memcpy(p, &red, 4);
    else if (f == 4 || f == 7) *p = f == 4 ? uint8_t(luma_term(l) >> 10) : uint8_t(red);
    else p[0] = uint8_t(red), p[1] = component(luma_term(l) - chroma_term(r, 832.512) - chroma_term(b, 400.384)),
         p[2] = component(luma_term(l) + chroma_term(b, 2066.432)), p[3] = 0;
  };
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) {
      const int u = 2 * (r / 4) + r % 2;  // full-size RGB0 takes its chroma rows interlaced
      if (f == 3 || f == 4) put(y + r, x + c, lum(r, c), cr(r / 2, c / 2), 0);
      if (f == 5) put(y + r, x + c, lum(r, c), cr(u, c / 2), cb(u, c / 2));
      if (f == 11 && r % 2 == 0 && c % 2 == 0) put((y + r) / 2, (x + c) / 2, lum(r, c), cr(r / 2, c / 2), cb(r / 2, c / 2));
      if (f >= 6 && f <= 8 && r < 2 && c < 4) put(y / 8 + r, x / 8 + c, lum(r, c), cr(0, c), cb(0, c));  // thumbnails
    }
}
struct Clip {
  const char *name;
  std::function<Bytes()> make;
  int damage = 0;     // 0: intact, so no segment may be reported damaged; 1: some may be; 2: some must be
  bool libdv = true;  // libdv's own decoder survives these frames
  size_t frame_bytes = kPalFrameBytes;
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
  int damaged_segments = 0, flag = 0;
  pforerror = &flag;
  for (size_t n : chosen) {
    Bytes padded(&bytes[n * clip.frame_bytes], &bytes[n * clip.frame_bytes] + clip.frame_bytes);
    std::copy(padded.begin(), padded.end(), block.data());
    padded.resize(clip.frame_bytes + 64);  // libdv's own decoder reads a little past damaged frames
    if (dv_parse_header(ours, block.data()) < 0 || dv_parse_header(libdv, padded.data()) < 0) continue;
    const bool is411 = ours->sampling == e_dv_sample_411;
    for (unsigned quality : {5u, 1u}) {
      SCOPED_TRACE(testing::Message() << clip.name << " frame " << n << " quality " << quality);
      ours->quality = quality;
      std::deque<Image> images;
      for (int f = 0; f < 3; ++f) {
        int pitch = 720 * (f + 2) + 24;  // wider than a row: rows must land where the pitch says
        Image &got = images.emplace_back(ours->height, pitch), full(ours->height, pitch), dc(ours->height, pitch);
        DecodeReport report;
        ozmira::dv_decode_full_frame(ours, block.data(), dv_color_space_t(f), got.pixels(), &pitch, &report);
        Image via(ours->height, pitch);  // dvreadformat, the hosts' way in, draws the same
        EXPECT_TRUE(dvreadformat(block.data(), f, via.pixels(), &pitch, quality == 5 ? 2 : 16) == 1 && via == got) << f;
        EXPECT_TRUE(clip.damage > 0 || report.damaged_segments == 0) << report.damaged_segments;
        damaged_segments += report.damaged_segments;
        if (!clip.libdv) continue;
        for (auto [image, q] : {std::pair{&full, quality}, {&dc, quality & ~DV_QUALITY_AC_MASK}}) {
          libdv->quality = q;
          ::dv_decode_full_frame(libdv, padded.data(), ::dv_color_space_t(f), image->pixels(), &pitch);
        }
        EXPECT_TRUE(report.damaged_segments > 0 || got == full) << "format " << f;  // the gaps between rows too
        size_t neither = 0;
        for (size_t i = 0; i < got.mem.size; ++i)
          neither += got.mem.data()[i] != full.mem.data()[i] && got.mem.data()[i] != dc.mem.data()[i];
        EXPECT_EQ(neither, 0u) << "bytes of format " << f << " that are neither libdv's full nor its DC-only decode";
      }
      for (int f : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, -1, INT_MIN}) {
        Image got(rows_of(f), row_bytes_of(f) + 16), want(rows_of(f), row_bytes_of(f) + 16);
        flag = 0;
        const Output said = capture([&] {
          ozmira::dv_decode_full_frame(ours, block.data(), dv_color_space_t(f), got.pixels(), &got.pitch);
        });
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
        capture([&] { drew = dvreadformat(block.data(), f, via.pixels(), &via.pitch, quality == 5 ? 2 : 16); });
        EXPECT_TRUE(drew == (f >= 3 && f < 15 && !is411) && via == want) << "dvreadformat, format " << f;
      }
    }
  }
  pforerror = nullptr;
  EXPECT_TRUE(clip.damage < 2 || damaged_segments > 0);
  dv_decoder_free(ours), dv_decoder_free(libdv);
}
INSTANTIATE_TEST_SUITE_P(
    Clips, EveryClip,
    testing::Values(Clip{"pal420", [] { return frames("pal420.dv", 0, 50); }},
                    Clip{"pal420_248", [] { return frames("pal420_248.dv", 0, 50); }},
                    Clip{"pal411", [] { return frames("pal411.dv", 0, 50); }},
                    Clip{"ntsc", [] { return frames("ntsc.dv", 0, 50, kNtscFrameBytes); }, 0, true, kNtscFrameBytes},
                    Clip{"random_damage", [] { return damaged(frames("pal420.dv", 0, 10), true, 1); }, 2},
                    Clip{"dropouts", [] { return damaged(frames("pal420.dv", 0, 10), false, 2); }, 1},
                    Clip{"damaged_middle", damaged_middle, 2, false},
                    Clip{"noise", [] {  // all but the header, subcode and VAUX blocks
                      Bytes f = frames("pal420.dv", 0, 3);
                      for (size_t i = 0; i < f.size(); ++i) f[i] = i % 12000 < 480 ? f[i] : uint8_t(i * 2654435761u >> 13);
                      return f; }, 1, false}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- The segment guard and the reader room, which protect libdv's segment parse. ----
// A segment whose blocks all end at once (EOB, "0110") but block b of macroblock m: DCT mode `mode`, then codes of
// the given runs (run 0 is "000", runs from 15 "1111110" and six bits; -2 makes an invalid code), then EOB unless
// `fill`.
Bytes segment_with(int m, int b, int mode, const std::vector<int> &runs, bool fill = false) {
  Bytes s(400 + 2);
  int at = 0;
  const auto put = [&](unsigned bits, int length) {
    for (int i = length - 1; i >= 0; --i, ++at) s[at >> 3] |= uint8_t(((bits >> i) & 1) << (7 - (at & 7)));
  };
  for (int mb = 0; mb < 5; ++mb)
    for (int blk = 0; blk < 6; ++blk) at = mb * 640 + dv_parse_bit_start[blk], put(0b0110, 4);
  at = m * 640 + dv_parse_bit_start[b] - 3, put(mode, 1), at += 2;
  for (int run : runs) run == 0 ? put(0, 3) : put(0x1f80 | std::max(run, 0), 13);
  if (!fill) put(0b0110, 4);
  return s;
}
TEST(SegmentGuard, AcceptsExactlyTheParsesThatStayInTheirBlockAndTheOrderTable) {
  std::vector<int> all_100_bits(30, 0);  // 13 + 29 x 3 bits: a luminance block's whole AC area
  all_100_bits[0] = 15;
  const struct { int m, b, mode; std::vector<int> runs; unsigned quality; bool in_bounds, fill = false; } cases[] = {
      {0, 0, 1, {61, 0}, 5, true}, {0, 0, 1, {61, 0, 0}, 5, false},  // mode 1 starts at entry 65 of 128
      {0, 0, 0, {61, 61, 0, 0, 0}, 5, true}, {0, 0, 0, {61, 61, 0, 0, 0, 0}, 5, false},
      {0, 0, 0, all_100_bits, 5, true, true},
      {0, 0, 0, {-2}, 5, false}, {4, 5, 0, {-2}, 5, false}, {4, 5, 0, {-2}, 3, false}, {4, 5, 0, {-2}, 4, true},
      {4, 3, 1, {-2}, 4, false}, {2, 1, 0, {-2}, 1, true}};
  dv_rgb_init();
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  ASSERT_GE(dv_parse_header(dv, frames("pal420.dv").data()), 0);
  Image image(1);
  for (const auto &c : cases) {
    const Bytes s = segment_with(c.m, c.b, c.mode, c.runs, c.fill);
    dv->quality = c.quality;
    EXPECT_EQ(ac_parse_stays_in_bounds(s.data(), c.quality), c.in_bounds) << c.m << "," << c.b << " quality " << c.quality;
    EXPECT_EQ(decode_video_segment(dv, s.data(), 3, 4, e_dv_color_rgb, image.pixels(), &image.pitch), c.in_bounds);
  }
  const Bytes middle = damaged_middle();  // frame 7 carries the fuzzer's segment twelve times
  for (unsigned quality : {5u, 1u}) {
    DecodeReport report;
    dv->quality = quality;
    ozmira::dv_decode_full_frame(dv, &middle[7 * kPalFrameBytes], e_dv_color_rgb, image.pixels(), &image.pitch, &report);
    EXPECT_EQ(report.damaged_segments, quality == 5 ? 12 : 0);
  }
  dv_decoder_free(dv);
}
// libdv's later passes seek up to 2^29 bytes (a 32-bit bit offset) past a segment, then read on.
TEST(ReaderRoom, CopyIsReadableTwoToThe29BytesAndMoreOn) {
  Bytes s(400);
  for (size_t i = 0; i < s.size(); ++i) s[i] = uint8_t(i * 7);
  const uintptr_t copy = uintptr_t(copy_into_reader_room(s.data()));
  EXPECT_EQ(std::memcmp((const void *)copy, s.data(), 400), 0);
  std::ifstream maps("/proc/self/maps");
  uintptr_t end = 0, lo, hi;
  char perms[5];
  unsigned long inode;
  for (std::string line; std::getline(maps, line);)  // the room's first page, then its read-only rest
    if (std::sscanf(line.c_str(), "%lx-%lx %4s %*s %*s %lu", &lo, &hi, perms, &inode) == 4 &&
        ((lo <= copy && copy < hi) || (end == lo && std::string(perms) == "r--p" && inode == 0)))
      end = hi;
  EXPECT_GE(end - copy, (size_t{1} << 29) + (size_t{1} << 16));
}

// ---- A frame's sound: libdv's own decode at each rate and in 12 bits; packs that would lead libdv astray refused. ----

constexpr size_t kSourcePack = 6 * 80 + 3 * 16 * 80 + 3, kControlPack = kSourcePack + 16 * 80;
constexpr size_t kSecondPair = 6 * 12000 + kSourcePack;  // the 12-bit mode's second pair, six sequences on
int16_t pcm[kMaxAudioChannels * kMaxAudioSamplesPerFrame];
// Frames of the 32 kHz clip marked 12-bit non-linear (in every source pack), with their second pair or with none.
Bytes twelve_bit(bool second_pair) {
  Bytes f = frames("sound32000.dv", 0, 50);
  for (size_t sequence = 0; sequence < f.size(); sequence += 12000)
    for (size_t pack = sequence + 6 * 80 + 3; pack < sequence + 12000; pack += 16 * 80)  // each audio block's
      if (f[pack] == 0x50) f[pack + 4] = (f[pack + 4] & 0xf8) | 1;
  for (size_t n = 0; !second_pair && n < f.size(); n += kPalFrameBytes) f[n + kSecondPair + 2] |= 0x0f;  // none recorded
  return f;
}
// decode_frame_audio on a copy of `frame` that ends at an inaccessible page; what it prints goes to `said`.
int decode_sound(const uint8_t *frame, size_t bytes, AudioFormat &format, std::string &said) {
  Guarded block(bytes);
  int samples = -1;
  said = capture([&] { samples = decode_frame_audio(block.fill(frame, bytes), bytes, format, pcm); }).err;
  return samples;
}
TEST(FrameAudio, EveryFrameAsLibdvDecodesItAtEachRateAndIn12Bits) {
  const struct { const char *name; Bytes frames; int rate, channels, bits; } clips[] = {
      {"48 kHz", frames("sound48000.dv", 0, 50), 48000, 2, 16}, {"44.1 kHz", frames("sound44100.dv", 0, 50), 44100, 2, 16},
      {"32 kHz", frames("sound32000.dv", 0, 50), 32000, 2, 16}, {"12-bit, two pairs", twelve_bit(true), 32000, 4, 12},
      {"12-bit, one pair", twelve_bit(false), 32000, 2, 12}};
  static int16_t planar[kMaxAudioChannels][kMaxAudioSamplesPerFrame];
  int16_t *outbufs[] = {planar[0], planar[1], planar[2], planar[3]};
  for (const auto &clip : clips) {
    dv_decoder_t *libdv = dv_decoder_new(0, 0, 0);
    dv_set_error_log(libdv, nullptr), dv_set_mixing_level(libdv, 16);  // both pairs as recorded
    for (size_t n = 0; n < clip.frames.size() / kPalFrameBytes; ++n) {
      const uint8_t *frame = &clip.frames[n * kPalFrameBytes];
      AudioFormat format;
      std::string said;
      const int samples = decode_sound(frame, kPalFrameBytes, format, said);
      ASSERT_TRUE(dv_parse_header(libdv, frame) >= 0 && dv_decode_full_audio(libdv, frame, outbufs));
      bool same = samples == clip.rate / 25 && format.rate == clip.rate && format.channels == clip.channels &&
                  format.quantisation == clip.bits && said.empty();
      for (int i = 0; same && i < samples * clip.channels; ++i) same = pcm[i] == planar[i % clip.channels][i / clip.channels];
      EXPECT_TRUE(same) << clip.name << ", frame " << n << ": " << samples << " samples at " << format.rate;
    }
    dv_decoder_free(libdv);
  }
}
TEST(FrameAudio, PacksThatWouldLeadLibdvAstrayGiveNoSoundAndNoWord) {
  const Bytes pal = frames("sound48000.dv"), twelve = twelve_bit(true), silent = frames("pal420.dv");
  const size_t source = kSourcePack, second = kSecondPair;
  struct Edit { size_t at; uint8_t keep, set; };
  const struct { const char *what; const Bytes &frame; std::vector<Edit> edits; size_t bytes = kPalFrameBytes; } cases[] = {
      {"source pack id", pal, {{source, 0, 0x51}}}, {"control pack id", pal, {{kControlPack, 0, 0x50}}},
      {"60 fields in the source pack", pal, {{source + 3, 0xdf, 0}}}, {"a 525/60 block's size", pal, {}, kNtscFrameBytes},
      {"60 fields by the DSF bit and the packs, 50 by the VAUX", pal, {{3, 0x7f, 0}, {source + 3, 0xdf, 0}}},
      {"sampling code 5", pal, {{source + 4, 0xc7, 5 << 3}}}, {"quantisation code 2", pal, {{source + 4, 0xf8, 2}}},
      {"12 bits at 48 kHz", pal, {{source + 4, 0xf8, 1}, {second + 2, 0xf0, 0x0f}}},
      {"1945 samples", pal, {{source + 1, 0xc0, 49}}}, {"not normal speed", pal, {{kControlPack + 3, 0x80, 0x10}}},
      {"a header that does not parse", pal, {{0, 0, 0xff}}}, {"second pair at 60 fields", twelve, {{second + 3, 0xdf, 0}}},
      {"second pair of 1297 samples", twelve, {{second + 1, 0xc0, 33}}}, {"no sound", silent, {}}};
  for (const auto &c : cases) {
    AudioFormat format;
    std::string said;
    decode_sound(c.frame.data(), kPalFrameBytes, format, said);  // the decoder's last frame: the intact one
    Bytes frame(c.frame.begin(), c.frame.begin() + kPalFrameBytes);
    for (const Edit &e : c.edits) frame[e.at] = (frame[e.at] & e.keep) | e.set;
    std::fill(std::begin(pcm), std::end(pcm), 0x5a5a);
    format = {};
    EXPECT_EQ(decode_sound(frame.data(), c.bytes, format, said), 0) << c.what;
    EXPECT_TRUE(said.empty() && format.rate == 0 && std::all_of(std::begin(pcm), std::end(pcm), [](int v) { return v == 0x5a5a; }))
        << c.what << ": " << said;
  }
  AudioFormat format;  // and no frame or no room
  EXPECT_EQ(decode_frame_audio(nullptr, kPalFrameBytes, format, pcm) + decode_frame_audio(pal.data(), kPalFrameBytes, format, nullptr), 0);
}

}  // namespace
}  // namespace ozmira::test
