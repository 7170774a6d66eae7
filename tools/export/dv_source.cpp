#include "dv_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>

namespace ozmira::frame_export {

const char kCannotReadWhole[] = "it cannot be read whole (did the file shrink?)";

namespace {

constexpr int kFrameBytes = 144000;

struct LibraryLines {
  std::string held;
  bool shown = false;
};
LibraryLines library_lines;

extern "C" void take_line(const char *line, void *user) {
  auto &lines = *static_cast<LibraryLines *>(user);
  if (lines.shown) {
    std::fputs(line, stderr);
  } else {
    lines.held += line;
  }
}

std::string quoted(const std::string &path) { return "'" + path + "'"; }

}  // namespace

std::string take_library_lines() {
  std::string lines;
  lines.swap(library_lines.held);
  return lines;
}

std::unique_ptr<DvSource> DvSource::open(const std::string &path, bool show_library_lines,
                                         std::string &error) {
  library_lines.shown = show_library_lines;
  dvsetlog(take_line, &library_lines);
  dvfile *record = dvopen(path.c_str());
  const std::string opening = take_library_lines();
  library_lines.shown = false;
  if (record == nullptr) {  // dvopen's own lines say why
    error = "dvopen refused " + quoted(path) + ":\n" + opening;
    return nullptr;
  }
  // The length by seeking, which block devices answer too.
  const int64_t length = dv_fseek64(record->file, 0, SEEK_END) == 0 ? dv_ftell64(record->file) : 0;
  if (length / kFrameBytes > std::numeric_limits<int>::max()) {
    dvclose(record);
    error = quoted(path) + " holds " + std::to_string(length / kFrameBytes) +
            " frames, more than can be numbered (at most " + std::to_string(std::numeric_limits<int>::max()) +
            ")";
    return nullptr;
  }
  return std::unique_ptr<DvSource>(new DvSource(record, length > 0 ? length % kFrameBytes : 0));
}

DvSource::DvSource(dvfile *record, int64_t trailing_bytes)
    : record_(record), trailing_bytes_(trailing_bytes), block_(kFrameBytes) {}

DvSource::~DvSource() { dvclose(record_); }

bool DvSource::is_this_file(const std::string &path) const {
  struct stat input {};
  struct stat output {};
  return fstat(fileno(record_->file), &input) == 0 && stat(path.c_str(), &output) == 0 &&
         input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}

bool DvSource::read_frame(int frame, std::string &error) {
  if (dvreadraw(record_, block_.data(), frame) == 1) return true;
  take_library_lines();
  error = kCannotReadWhole;
  return false;
}

bool DvSource::read_frame_at(int frame, uint8_t *block) const {
  const int descriptor = fileno(record_->file);
  const off_t start = static_cast<off_t>(frame) * kFrameBytes;
  for (size_t done = 0; done < kFrameBytes;) {
    const ssize_t got = pread(descriptor, block + done, kFrameBytes - done, start + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace ozmira::frame_export
