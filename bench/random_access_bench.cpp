// Reading cost must not grow with the frame number. At start this makes a
// sparse file of more than 4 GiB in a temporary directory, with real frames
// of the PAL 4:2:0 clip at positions spread from frame 0 to the last frame
// (the same picture at both ends) and holes between them, and removes it at
// exit. It then compares dvreadframe of frame 0 with the last frame, a walk
// over the real frames in file order with one in a shuffled order, and the
// seek and read alone at both ends. The file was just written, so reads come
// from the page cache: these figures are the library's cost, not the disk's.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench_clips.h"
#include "dvlib.h"

namespace {

constexpr int kWidth = 720, kHeight = 576, kRgbBytes = 3;
constexpr int64_t kFrameBytes = 144000;
constexpr int64_t kFourGiB = int64_t{1} << 32;
constexpr int kFileFrames = static_cast<int>(kFourGiB / kFrameBytes) + 200;  // past 4 GiB by ~28 MB
constexpr int kWalkSeed = 20260101;

[[noreturn]] void fail(const char *what, const std::string &path) {
  std::fprintf(stderr, "random_access_bench: %s %s\n", what, path.c_str());
  std::exit(1);
}

// What exists on disk, for removal at exit however the program ends normally.
std::string made_dir, made_file;
dvfile *open_file = nullptr;

void remove_sparse_file() {
  if (open_file != nullptr) dvclose(open_file);
  if (!made_file.empty()) std::remove(made_file.c_str());
  if (!made_dir.empty()) std::remove(made_dir.c_str());
}

struct SparseFile {
  SparseFile() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/ozmira-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) fail("cannot make a directory like", pattern);
    std::atexit(remove_sparse_file);
    made_dir = dir = pattern;
    made_file = path = dir + "/sparse.dv";
    write_frames();
    dvinit();
    open_file = file = dvopen(path.c_str());
    if (file == nullptr || file->num_frames != kFileFrames) fail("dvopen did not count the frames of", path);
  }

  void write_frames() {
    const auto clip = ozmira::bench::clip_frames("pal420.dv");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) fail("cannot create", path);
    // One more position than the clip has frames, so the last frame of the
    // file holds the clip's first frame, like frame 0.
    const int positions = static_cast<int>(clip.size()) + 1;
    for (int i = 0; i < positions; ++i) {
      const int frame = static_cast<int>(int64_t{kFileFrames - 1} * i / (positions - 1));
      const auto &bytes = clip[i % clip.size()];
      if (pwrite(fd, bytes.data(), kFrameBytes, frame * kFrameBytes) != kFrameBytes)
        fail("cannot write", path);
      real_frames.push_back(frame);
    }
    if (ftruncate(fd, int64_t{kFileFrames} * kFrameBytes) != 0 || close(fd) != 0) fail("cannot size", path);
  }

  std::string dir, path;
  dvfile *file = nullptr;
  std::vector<int> real_frames;  // in file order
};

SparseFile &sparse_file() {
  static SparseFile sparse;
  return sparse;
}

// dvreadframe of the given frames in turn, one per iteration.
void read_frames(benchmark::State &state, const std::vector<int> &frames) {
  dvfile *file = sparse_file().file;
  std::vector<unsigned char> image(kWidth * kHeight * kRgbBytes);
  size_t next = 0;
  for (auto _ : state) {
    if (dvreadframe(file, image.data(), frames[next]) != 1) {
      state.SkipWithError("dvreadframe failed");
      break;
    }
    next = (next + 1) % frames.size();
    benchmark::ClobberMemory();
  }
}

void BM_ReadFrameFirst(benchmark::State &state) { read_frames(state, {0}); }
void BM_ReadFrameLast(benchmark::State &state) { read_frames(state, {kFileFrames - 1}); }

void BM_WalkInOrder(benchmark::State &state) { read_frames(state, sparse_file().real_frames); }

void BM_WalkRandomOrder(benchmark::State &state) {
  std::vector<int> shuffled = sparse_file().real_frames;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(kWalkSeed));
  read_frames(state, shuffled);
}

// The seek and the read alone, without the decode that dominates dvreadframe.
void seek_and_read(benchmark::State &state, int frame) {
  FILE *stream = sparse_file().file->file;
  std::vector<unsigned char> buffer(kFrameBytes);
  for (auto _ : state) {
    if (dv_fseek64(stream, frame, SEEK_SET) != 0 || std::fread(buffer.data(), kFrameBytes, 1, stream) != 1) {
      state.SkipWithError("seek or read failed");
      break;
    }
    benchmark::ClobberMemory();
  }
}

void BM_SeekReadFirst(benchmark::State &state) { seek_and_read(state, 0); }
void BM_SeekReadLast(benchmark::State &state) { seek_and_read(state, kFileFrames - 1); }

}  // namespace

// The first registered benchmark is the baseline of the table.
BENCHMARK(BM_ReadFrameFirst)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFrameLast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkInOrder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkRandomOrder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekReadFirst)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekReadLast)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
