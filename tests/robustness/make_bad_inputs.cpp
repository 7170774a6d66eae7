// Writes the damaged files of the bad-input matrix (docs/ROBUSTNESS.md) from
// the test clips, the same bytes on every run:
//   random.dv            two frames' worth of pseudo-random bytes
//   cut_inside_frame.dv  three frames of pal420.dv and 70000 bytes of a fourth
//   damaged_middle.dv    ten frames of pal420.dv: frame 4 all random bytes,
//                        frame 6 random video blocks under an intact header,
//                        frame 7 segments that would lead libdv's AC parser
//                        out of its blocks (a fuzz regression's segment)
//   long.dv              pal420.dv four times, then damaged_middle.dv
//
//   make_bad_inputs CLIP_DIR SEGMENT_REGRESSION OUT_DIR
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kFrame = 144000, kBlock = 80, kSequence = 150 * kBlock;
constexpr size_t kSegmentChoiceBytes = 3, kSegmentBytes = 400;
constexpr size_t kFirstVideoBlock = 7;  // after header, subcode, VAUX and the first audio block

Bytes read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes random_bytes(size_t n, std::mt19937 &rng) {
  Bytes bytes(n);
  for (auto &b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

uint8_t *frame(Bytes &clip, size_t n) { return clip.data() + n * kFrame; }

size_t segment_offset(size_t ds, size_t v) {
  return ds * kSequence + kBlock * (kFirstVideoBlock + 16 * (v / 3) + 5 * (v % 3));
}

}  // namespace

int main(int argc, char **argv) try {
  if (argc != 4) throw std::runtime_error("usage: make_bad_inputs CLIP_DIR SEGMENT_REGRESSION OUT_DIR");
  const std::string clips = argv[1], out = argv[3];
  std::filesystem::create_directories(out);
  const Bytes pal = read_file(clips + "/pal420.dv");
  Bytes trap = read_file(argv[2]);
  trap.erase(trap.begin(), trap.begin() + kSegmentChoiceBytes);
  trap.resize(kSegmentBytes, 0);
  std::mt19937 rng(20240611);

  write_file(out + "/random.dv", random_bytes(2 * kFrame, rng));
  write_file(out + "/cut_inside_frame.dv", Bytes(pal.begin(), pal.begin() + 3 * kFrame + 70000));

  Bytes damaged(pal.begin(), pal.begin() + 10 * kFrame);
  const Bytes noise = random_bytes(kFrame, rng);
  std::memcpy(frame(damaged, 4), noise.data(), kFrame);
  for (size_t seq = 0; seq < kFrame; seq += kSequence)
    for (size_t at = seq + kFirstVideoBlock * kBlock; at < seq + kSequence; ++at)
      frame(damaged, 6)[at] = static_cast<uint8_t>(rng());
  for (size_t ds : {0, 5, 11})
    for (size_t v : {0, 13, 25, 26})
      std::memcpy(frame(damaged, 7) + segment_offset(ds, v), trap.data(), kSegmentBytes);
  write_file(out + "/damaged_middle.dv", damaged);

  Bytes long_clip;
  for (int i = 0; i < 4; ++i) long_clip.insert(long_clip.end(), pal.begin(), pal.end());
  long_clip.insert(long_clip.end(), damaged.begin(), damaged.end());
  write_file(out + "/long.dv", long_clip);
  return 0;
} catch (const std::exception &e) {
  std::cerr << "make_bad_inputs: " << e.what() << "\n";
  return 1;
}
