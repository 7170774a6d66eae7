// What the suites share: the clips (clips/make_clips.sh) and the damaged
// inputs made from them, output captured from this process or from a child
// process with its status, scratch folders, and the heap in use.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>

#include <libdv/dv.h>

#include "fuzz_support.h"

namespace ozmira::test {

using namespace ozmira::fuzz;
using Bytes = std::vector<uint8_t>;

inline Bytes read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
inline void write_file(const std::string &path, const Bytes &bytes, bool append = false) {
  std::ofstream(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc))
      .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}
inline std::string clip_path(const std::string &name) { return OZMIRA_CLIP_DIR "/" + name; }
// Frames first .. first + count - 1 of a clip, back to back.
inline Bytes frames(const std::string &clip, size_t first = 0, size_t count = 1, size_t frame = kPalFrameBytes) {
  const Bytes all = read_file(clip_path(clip));
  return Bytes(all.begin() + first * frame, all.begin() + std::min(all.size(), (first + count) * frame));
}

// Frames whose VAUX source pack (0x60) says greyscale, or that have no such pack.
inline Bytes recoloured(Bytes f, bool grey) {
  for (size_t seq = 0; seq < f.size(); seq += 12000)
    for (size_t pack = seq + 3 * 80 + 3; pack < seq + 6 * 80; pack += pack % 80 == 73 ? 10 : 5)
      if (f[pack] == 0x60) grey ? (f[pack + 2] &= 0x7f) : (f[pack] = 0xff);
  return f;
}
// Damage in video blocks only: random bytes over one block in four, or 0xff
// over the data of one block in three (dropouts).
inline Bytes damaged(Bytes f, bool random, unsigned seed) {
  std::mt19937 rng(seed);
  for (size_t b = 0; b < f.size() / 80; ++b)
    if (b % 150 >= 7 && (b % 150 - 6) % 16 != 0 && rng() % (random ? 4 : 3) == 0)
      for (size_t i = random ? 0 : 3; i < 80; ++i) f[b * 80 + i] = random ? uint8_t(rng()) : 0xff;
  return f;
}
// Where segment v of DIF sequence ds starts in a frame.
inline size_t segment_at(int ds, int v) { return ds * 12000 + 80 * (7 + 16 * (v / 3) + 5 * (v % 3)); }
// Ten frames of pal420.dv: frame 4 all random, frame 6 random from its first
// video block on, frame 7 carrying the segment that the fuzzer found to lead
// libdv's AC parser out of its blocks, at twelve positions.
inline Bytes damaged_middle() {
  Bytes f = frames("pal420.dv", 0, 10);
  const Bytes trap = read_file(OZMIRA_SOURCE_DIR "/fuzz/regressions/segment/pass0_invalid_code_leaves_block");
  std::mt19937 rng(20240611);
  for (size_t i = 4 * kPalFrameBytes; i < 5 * kPalFrameBytes; ++i) f[i] = uint8_t(rng());
  for (size_t i = 6 * kPalFrameBytes; i < 7 * kPalFrameBytes; ++i) f[i] = i % 12000 < 7 * 80 ? f[i] : uint8_t(rng());
  for (int ds : {0, 5, 11})
    for (int v : {0, 13, 25, 26})
      for (size_t i = 0; i < 400; ++i) f[7 * kPalFrameBytes + segment_at(ds, v) + i] = i + 3 < trap.size() ? trap[i + 3] : 0;
  return f;
}

struct TempDir {
  std::string path = [] {
    char name[] = "/tmp/ozmira-test-XXXXXX";
    return std::string(mkdtemp(name));
  }();
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string &name) const { return path + "/" + name; }
  std::set<std::string> names() const {
    std::set<std::string> found;
    for (const auto &entry : std::filesystem::directory_iterator(path)) found.insert(entry.path().filename());
    return found;
  }
};

struct Output {
  int status = 0;  // exit status, or 128 + the signal that ended the process
  std::string out, err;
  bool operator==(const Output &) const = default;
};
inline std::ostream &operator<<(std::ostream &o, const Output &r) {
  return o << "status " << r.status << ", stdout \"" << r.out << "\", stderr \"" << r.err << "\"";
}
inline std::string slurp(FILE *file) {
  fseek(file, 0, SEEK_END);
  std::string text(size_t(ftell(file)), '\0');
  rewind(file);
  text.resize(fread(text.data(), 1, text.size(), file));
  fclose(file);
  return text;
}
// What `run` writes on stdout and stderr at the descriptor level (C stdio of any library included).
inline Output capture(const std::function<void()> &run) {
  fflush(stdout), fflush(stderr);
  FILE *files[2] = {tmpfile(), tmpfile()};
  const int saved[2] = {dup(1), dup(2)};
  for (int i = 0; i < 2; ++i) dup2(fileno(files[i]), i + 1);
  run();
  fflush(stdout), fflush(stderr);
  for (int i = 0; i < 2; ++i) dup2(saved[i], i + 1), close(saved[i]);
  return {0, slurp(files[0]), slurp(files[1])};
}

struct RunOptions {
  std::vector<std::string> env{};  // NAME=VALUE to set, NAME to unset
  bool terminal = false;         // stderr on a pseudo-terminal
  rlim_t file_limit = 0;         // RLIMIT_FSIZE; a write past it fails with EFBIG
  std::function<void(pid_t)> meanwhile{};  // runs while the process does
};
// Runs args[0] with args[1..] as a process of its own (ended after a minute).
inline Output run(std::vector<std::string> args, const RunOptions &o = {}) {
  FILE *out = tmpfile(), *err = tmpfile();
  int terminal = -1, err_fd = fileno(err);
  if (o.terminal && openpty(&terminal, &err_fd, nullptr, nullptr, nullptr) != 0) ADD_FAILURE() << "no pty";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fileno(out), 1), dup2(err_fd, 2);
    for (const std::string &e : o.env) e.find('=') == e.npos ? unsetenv(e.c_str()) : putenv(strdup(e.c_str()));
    const rlimit limit{o.file_limit, o.file_limit};
    if (o.file_limit != 0) signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &limit);
    alarm(60);
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (o.meanwhile) o.meanwhile(pid);
  Output r;
  if (terminal != -1) {
    close(err_fd);
    char chunk[512];
    for (ssize_t n; (n = read(terminal, chunk, sizeof chunk)) > 0;) r.err.append(chunk, size_t(n));
    close(terminal);
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.out = slurp(out);
  if (terminal == -1) r.err = slurp(err);
  return r;
}

// What dvopen says of a PAL file it opens.
inline std::string opened(int frames) {
  return "(dvopen:dvlib) Image Size 720 576\n(dvopen:dvlib) PAL format video\n(dvopen:dvlib) " +
         std::to_string(frames) + " frames\n";
}

// Bytes the allocator has handed out and not had back.
inline size_t heap_in_use() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

}  // namespace ozmira::test
