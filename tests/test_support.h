// Shared by the suites.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libdv/dv.h>
#include <malloc.h>
#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include "dvlib.h"
#include "fuzz_support.h"

namespace ozmira::test {

using namespace ozmira::fuzz;
using Bytes = std::vector<uint8_t>;

inline Bytes read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
inline void write_file(const std::string &path, const Bytes &bytes, bool append = false) {
  std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}
inline std::string clip_path(const std::string &name) { return OZMIRA_CLIP_DIR "/" + name; }
// Frames first .. first + count - 1 of a clip.
inline Bytes frames(const std::string &clip, size_t first = 0, size_t count = 1,
                    size_t frame = kPalFrameBytes) {
  const Bytes all = read_file(clip_path(clip));
  return Bytes(all.begin() + first * frame,
               all.begin() + std::min(all.size() / frame, first + count) * frame);
}
inline Bytes recoloured(Bytes f, bool grey) {
  for (size_t pack = 3 * 80 + 3; pack < f.size(); pack += pack % 80 != 73         ? 5
                                                          : pack % 12000 < 5 * 80 ? 10
                                                                                  : 12000 - 230)
    if (f[pack] == 0x60) grey ? (f[pack + 2] &= 0x7f) : (f[pack] = 0xff);
  return f;
}
inline Bytes damaged(Bytes f, bool random, unsigned seed) {
  std::mt19937 rng(seed);
  for (size_t b = 0; b < f.size() / 80; ++b)
    if (b % 150 >= 7 && (b % 150 - 6) % 16 != 0 && rng() % (random ? 4 : 3) == 0)
      for (size_t i = random ? 0 : 3; i < 80; ++i) f[b * 80 + i] = random ? uint8_t(rng()) : 0xff;
  return f;
}
inline size_t segment_at(int ds, int v) { return ds * 12000 + 80 * (7 + 16 * (v / 3) + 5 * (v % 3)); }
// Ten frames of pal420.dv, 4, 6 and 7 damaged.
inline Bytes damaged_middle() {
  Bytes f = frames("pal420.dv", 0, 10);
  const Bytes trap = read_file(OZMIRA_SOURCE_DIR "/fuzz/regressions/segment/pass0_invalid_code_leaves_block");
  std::mt19937 rng(20240611);
  for (size_t i = 4 * kPalFrameBytes; i < 7 * kPalFrameBytes; ++i)
    if (i < 5 * kPalFrameBytes || (i >= 6 * kPalFrameBytes && i % 12000 >= 7 * 80)) f[i] = uint8_t(rng());
  for (int ds : {0, 5, 11})
    for (int v : {0, 13, 25, 26})
      for (size_t i = 0; i < 400; ++i)
        f[7 * kPalFrameBytes + segment_at(ds, v) + i] = i + 3 < trap.size() ? trap[i + 3] : 0;
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
  int status = 0;
  std::string out, err;
  bool operator==(const Output &) const = default;
  friend std::ostream &operator<<(std::ostream &o, const Output &r) {
    return o << r.status << " \"" << r.out << "\" \"" << r.err << '"';
  }
};
inline std::string text_of(FILE *file) {
  std::string text(size_t(fseek(file, 0, SEEK_END) == 0 ? ftell(file) : 0), '\0');
  rewind(file);
  text.resize(fread(text.data(), 1, text.size(), file));
  fclose(file);
  return text;
}
inline Output capture(const std::function<void()> &run) {
  fflush(nullptr);
  FILE *files[2] = {tmpfile(), tmpfile()};
  const int saved[2] = {dup(1), dup(2)};
  for (int i = 0; i < 2; ++i) dup2(fileno(files[i]), i + 1);
  run();
  fflush(nullptr);
  for (int i = 0; i < 2; ++i) {
    dup2(saved[i], i + 1);
    close(saved[i]);
  }
  return {0, text_of(files[0]), text_of(files[1])};
}
// args[0] as a child; env NAME=VALUE set, NAME unset.
inline Output run(std::vector<std::string> args, const std::vector<std::string> &env = {},
                  const std::function<void(pid_t)> &meanwhile = {}) {
  FILE *out = tmpfile(), *err = tmpfile();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    alarm(60);
    for (const std::string &e : env) e.find('=') == e.npos ? unsetenv(e.c_str()) : putenv(strdup(e.c_str()));
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int raw = 0;
  if (meanwhile) meanwhile(pid);
  waitpid(pid, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), text_of(out), text_of(err)};
}
inline std::string opened(int frames) {
  return "(dvopen:dvlib) Image Size 720 576\n(dvopen:dvlib) PAL format video\n(dvopen:dvlib) " +
         std::to_string(frames) + " frames\n";
}
inline dvframeinfo info_of(const uint8_t *block, int *result = nullptr) {
  dvframeinfo info{};
  info.size = sizeof info;
  const int got = dvreadinfo(block, &info);
  if (result != nullptr) *result = got;
  return info;
}
inline dvframeinfo info_of(const Bytes &block, int *result = nullptr) {
  return info_of(block.data(), result);
}
inline size_t heap_in_use() { return mallinfo2().uordblks + mallinfo2().hblkhd; }

}  // namespace ozmira::test
