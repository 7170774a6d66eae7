// Makes test clips out of clips that ffmpeg wrote: edits the colour flag of the
// VAUX source-control pack, damages frames the way worn tapes and failing
// disks do, breaks a frame header, and writes the damaged files of the
// bad-input matrix.
//
//   dvclip colour IN OUT grey|unstated
//   dvclip damage IN OUT random|ff SEED
//   dvclip bad-header IN OUT
//   dvclip bad-inputs CLIP_DIR SEGMENT_REGRESSION OUT_DIR
#include <cstdint>
#include <cstdio>
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
constexpr size_t kBlock = 80, kSequence = 150 * kBlock, kFrame = 12 * kSequence;
constexpr size_t kFirstVideoBlock = 7;  // after header, subcode, VAUX and the first audio block
constexpr size_t kSegmentChoiceBytes = 3, kSegmentBytes = 400;
constexpr size_t kVauxFirstBlock = 3, kVauxBlocks = 3, kPacksPerBlock = 15, kPackBytes = 5;
constexpr uint8_t kSourceControlPack = 0x60;

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

// Every VAUX pack of every sequence of every whole frame.
template <typename Visit>
void for_each_vaux_pack(std::vector<uint8_t> &bytes, Visit visit) {
  for (size_t seq = 0; seq + kSequence <= bytes.size(); seq += kSequence) {
    for (size_t b = 0; b < kVauxBlocks; ++b) {
      uint8_t *block = bytes.data() + seq + (kVauxFirstBlock + b) * kBlock;
      for (size_t p = 0; p < kPacksPerBlock; ++p) visit(block + 3 + p * kPackBytes);
    }
  }
}

// The colour flag is bit 7 of the second data byte of pack 0x60; a frame
// without that pack does not say whether it is in colour.
void edit_colour(std::vector<uint8_t> &bytes, const std::string &how) {
  int edited = 0;
  for_each_vaux_pack(bytes, [&](uint8_t *pack) {
    if (pack[0] != kSourceControlPack) return;
    if (how == "grey") pack[2] &= 0x7f;
    else pack[0] = 0xff;
    ++edited;
  });
  if (edited == 0) throw std::runtime_error("no VAUX source-control pack found");
}

// Video DIF blocks (past the first six of each sequence and not audio).
bool is_video_block(size_t block_in_sequence) {
  return block_in_sequence >= kFirstVideoBlock && (block_in_sequence - 6) % 16 != 0;
}

void damage(std::vector<uint8_t> &bytes, const std::string &how, unsigned seed) {
  std::mt19937 rng(seed);
  const size_t blocks = bytes.size() / kBlock;
  for (size_t i = 0; i < blocks; ++i) {
    if (!is_video_block(i % 150)) continue;
    uint8_t *block = bytes.data() + i * kBlock;
    if (how == "random") {
      // Random bytes over whole blocks, ids included, in one block of four.
      if (rng() % 4 == 0) for (size_t j = 0; j < kBlock; ++j) block[j] = static_cast<uint8_t>(rng());
    } else {
      // Dropouts: runs of 0xFF over the data area of one block in three.
      if (rng() % 3 == 0) std::memset(block + 3, 0xff, kBlock - 3);
    }
  }
}

// The damaged files of the bad-input matrix (docs/ROBUSTNESS.md), the same
// bytes on every run, from pal420.dv and a segment the fuzzer kept:
//   random.dv            two frames' worth of pseudo-random bytes
//   cut_inside_frame.dv  three frames of pal420.dv and 70000 bytes of a fourth
//   damaged_middle.dv    ten frames of pal420.dv: frame 4 all random bytes,
//                        frame 6 random from its first video block on under an
//                        intact header, frame 7 segments that would lead
//                        libdv's AC parser out of its blocks
//   long.dv              pal420.dv four times, then damaged_middle.dv
void bad_inputs(const std::string &clips, const std::string &segment_regression, const std::string &out) {
  const Bytes pal = read_file(clips + "/pal420.dv");
  Bytes trap = read_file(segment_regression);
  trap.erase(trap.begin(), trap.begin() + kSegmentChoiceBytes);
  trap.resize(kSegmentBytes, 0);
  std::mt19937 rng(20240611);
  const auto random_bytes = [&](size_t n) {
    Bytes bytes(n);
    for (auto &b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
  };
  std::filesystem::create_directories(out);
  write_file(out + "/random.dv", random_bytes(2 * kFrame));
  write_file(out + "/cut_inside_frame.dv", Bytes(pal.begin(), pal.begin() + 3 * kFrame + 70000));

  Bytes damaged(pal.begin(), pal.begin() + 10 * kFrame);
  const Bytes noise = random_bytes(kFrame);
  std::copy(noise.begin(), noise.end(), damaged.begin() + 4 * kFrame);
  for (size_t seq = 6 * kFrame; seq < 7 * kFrame; seq += kSequence)
    for (size_t at = seq + kFirstVideoBlock * kBlock; at < seq + kSequence; ++at) damaged[at] = static_cast<uint8_t>(rng());
  for (size_t ds : {0, 5, 11}) {
    for (size_t v : {0, 13, 25, 26}) {
      const size_t segment = 7 * kFrame + ds * kSequence + kBlock * (kFirstVideoBlock + 16 * (v / 3) + 5 * (v % 3));
      std::copy(trap.begin(), trap.end(), damaged.begin() + static_cast<std::ptrdiff_t>(segment));
    }
  }
  write_file(out + "/damaged_middle.dv", damaged);

  Bytes long_clip;
  for (int i = 0; i < 4; ++i) long_clip.insert(long_clip.end(), pal.begin(), pal.end());
  long_clip.insert(long_clip.end(), damaged.begin(), damaged.end());
  write_file(out + "/long.dv", long_clip);
}

}  // namespace

int main(int argc, char **argv) {
  try {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "colour" && argc == 5) {
      auto bytes = read_file(argv[2]);
      edit_colour(bytes, argv[4]);
      write_file(argv[3], bytes);
    } else if (cmd == "damage" && argc == 6) {
      auto bytes = read_file(argv[2]);
      damage(bytes, argv[4], static_cast<unsigned>(std::stoul(argv[5])));
      write_file(argv[3], bytes);
    } else if (cmd == "bad-header" && argc == 4) {
      auto bytes = read_file(argv[2]);
      if (bytes.size() < kFrame) throw std::runtime_error("not a whole frame");
      bytes[0] = 0xff;  // section type 7: not a header block
      write_file(argv[3], bytes);
    } else if (cmd == "bad-inputs" && argc == 5) {
      bad_inputs(argv[2], argv[3], argv[4]);
    } else {
      std::cerr << "usage: dvclip colour IN OUT grey|unstated | damage IN OUT random|ff SEED | "
                   "bad-header IN OUT | bad-inputs CLIP_DIR SEGMENT_REGRESSION OUT_DIR\n";
      return 2;
    }
  } catch (const std::exception &e) {
    std::cerr << "dvclip: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
