#include "capture.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace ozmira::test {
namespace {

class Redirect {
 public:
  Redirect(FILE *stream, int fd) : stream_(stream), fd_(fd) {
    std::fflush(stream_);
    file_ = std::tmpfile();
    if (file_ == nullptr) throw std::runtime_error("tmpfile failed");
    saved_ = dup(fd_);
    dup2(fileno(file_), fd_);
  }
  std::string finish() {
    std::fflush(stream_);
    dup2(saved_, fd_);
    close(saved_);
    std::string text;
    std::rewind(file_);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) text.append(chunk, n);
    std::fclose(file_);
    return text;
  }

 private:
  FILE *stream_;
  int fd_;
  FILE *file_;
  int saved_;
};

}  // namespace

Captured capture_output(const std::function<void()> &run) {
  Redirect out(stdout, STDOUT_FILENO), err(stderr, STDERR_FILENO);
  run();
  Captured c;
  c.err = err.finish();
  c.out = out.finish();
  return c;
}

}  // namespace ozmira::test
