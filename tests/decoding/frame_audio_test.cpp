// A frame's sound as libdv's own dv_decode_full_audio decodes it, at each rate
// and in 12 bits; packs that would lead libdv astray give no sound and no
// word. Every frame ends at an inaccessible page.
#include "frame_audio.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "capture.h"
#include "clips.h"
#include "guarded_buffer.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kSourcePack = 6 * 80 + 3 * 16 * 80 + 3, kControlPack = kSourcePack + 16 * 80;
constexpr size_t kSecondPair = 6 * 12000 + kSourcePack;  // the 12-bit mode's second pair, six sequences on
int16_t pcm[kMaxAudioChannels * kMaxAudioSamplesPerFrame];

// Frames of the 32 kHz clip marked 12-bit non-linear, with their second pair or with none.
std::vector<Bytes> twelve_bit(bool second_pair) {
  std::vector<Bytes> frames = clip_frames("sound32000.dv");
  for (Bytes &f : frames) {
    for (size_t sequence = 0; sequence < kPalFrameBytes; sequence += 12000)
      for (size_t pack = sequence + 6 * 80 + 3; pack < sequence + 12000; pack += 16 * 80)  // each audio block's
        if (f[pack] == 0x50) f[pack + 4] = (f[pack + 4] & 0xf8) | 1;
    if (!second_pair) f[kSecondPair + 2] |= 0x0f;  // audio mode: not recorded
  }
  return frames;
}

int decode(const Bytes &frame, size_t bytes, AudioFormat &format, std::string &said) {
  GuardedBuffer block(bytes);
  std::copy_n(frame.begin(), bytes, block.data());
  int samples = -1;
  said = capture_output([&] { samples = decode_frame_audio(block.data(), bytes, format, pcm); }).err;
  return samples;
}

TEST(FrameAudio, EveryFrameAsLibdvDecodesItAtEachRateAndIn12Bits) {
  const struct { const char *name; std::vector<Bytes> frames; int rate, channels, bits; } clips[] = {
      {"48 kHz", clip_frames("sound48000.dv"), 48000, 2, 16}, {"44.1 kHz", clip_frames("sound44100.dv"), 44100, 2, 16},
      {"32 kHz", clip_frames("sound32000.dv"), 32000, 2, 16}, {"12-bit, two pairs", twelve_bit(true), 32000, 4, 12},
      {"12-bit, one pair", twelve_bit(false), 32000, 2, 12}};
  static int16_t planar[kMaxAudioChannels][kMaxAudioSamplesPerFrame];
  int16_t *outbufs[] = {planar[0], planar[1], planar[2], planar[3]};
  for (const auto &clip : clips) {
    LibdvDecoder libdv;
    dv_set_error_log(libdv.get(), nullptr), dv_set_mixing_level(libdv.get(), 16);  // both pairs as recorded
    for (size_t n = 0; n < clip.frames.size(); ++n) {
      AudioFormat format;
      std::string said;
      const int samples = decode(clip.frames[n], kPalFrameBytes, format, said);
      ASSERT_TRUE(libdv.parse(clip.frames[n].data()) >= 0 && dv_decode_full_audio(libdv.get(), clip.frames[n].data(), outbufs));
      bool same = samples == clip.rate / 25 && format.rate == clip.rate && format.channels == clip.channels &&
                  format.quantisation == clip.bits && said.empty();
      for (int s = 0; same && s < samples * clip.channels; ++s) same = pcm[s] == planar[s % clip.channels][s / clip.channels];
      EXPECT_TRUE(same) << clip.name << ", frame " << n << ": " << samples << " samples at " << format.rate;
    }
  }
}

TEST(FrameAudio, PacksThatWouldLeadLibdvAstrayGiveNoSoundAndNoWord) {
  const Bytes pal = clip_frames("sound48000.dv")[0], twelve = twelve_bit(true)[0], silent = clip_frames("pal420.dv")[0];
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
    decode(c.frame, kPalFrameBytes, format, said);  // the decoder's last frame: the intact one
    Bytes frame = c.frame;
    for (const Edit &e : c.edits) frame[e.at] = (frame[e.at] & e.keep) | e.set;
    std::fill(std::begin(pcm), std::end(pcm), 0x5a5a);
    format = {};
    EXPECT_EQ(decode(frame, c.bytes, format, said), 0) << c.what;
    EXPECT_TRUE(said.empty() && format.rate == 0 && std::all_of(std::begin(pcm), std::end(pcm), [](int v) { return v == 0x5a5a; }))
        << c.what << ": " << said;
  }
  AudioFormat format;  // and no frame or no room
  EXPECT_EQ(decode_frame_audio(nullptr, kPalFrameBytes, format, pcm) + decode_frame_audio(pal.data(), kPalFrameBytes, format, nullptr), 0);
}

}  // namespace
}  // namespace ozmira::test
