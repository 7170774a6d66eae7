// Makes test clips out of clips that ffmpeg wrote: edits the colour flag of the
// VAUX source-control pack, damages frames the way worn tapes and failing
// disks do, and breaks a frame header.
//
//   dvclip colour IN OUT grey|unstated
//   dvclip damage IN OUT random|ff SEED
//   dvclip bad-header IN OUT
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr size_t kBlock = 80, kSequence = 150 * kBlock, kFrame = 12 * kSequence;
constexpr size_t kVauxFirstBlock = 3, kVauxBlocks = 3, kPacksPerBlock = 15, kPackBytes = 5;
constexpr uint8_t kSourceControlPack = 0x60;

std::vector<uint8_t> read_file(const char *path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("cannot read ") + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const char *path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error(std::string("cannot write ") + path);
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
  return block_in_sequence >= 7 && (block_in_sequence - 6) % 16 != 0;
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
    } else {
      std::cerr << "usage: dvclip colour IN OUT grey|unstated | damage IN OUT random|ff SEED | "
                   "bad-header IN OUT\n";
      return 2;
    }
  } catch (const std::exception &e) {
    std::cerr << "dvclip: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
