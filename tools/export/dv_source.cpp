#include "dv_source.h"

#include <sys/stat.h>

#include <cstdio>
#include <limits>

#include "stderr_capture.h"

namespace ozmira::frame_export {
namespace {

constexpr int kFrameBytes = 144000;

std::string quoted(const std::string &path) { return "'" + path + "'"; }

}  // namespace

std::unique_ptr<DvSource> DvSource::open(const std::string &path, bool show_library_lines,
                                         std::string &error) {
  dvfile *record;
  std::string library_lines;
  if (show_library_lines) {
    record = dvopen(path.c_str());
  } else {
    StderrCapture capture;
    record = dvopen(path.c_str());
    library_lines = capture.take();
  }
  if (record == nullptr) {  // dvopen's own lines say why
    error = "dvopen refused " + quoted(path) + ":\n" + library_lines;
    return nullptr;
  }
  // dvopen leaves the stream at the start; the length gives the bytes after
  // the last whole frame, which dvopen only mentions in a warning, and the
  // frame count, which dvopen keeps in an int.
  int64_t trailing = 0;
  if (dv_fseek64(record->file, 0, SEEK_END) == 0) {
    const int64_t length = dv_ftell64(record->file);
    if (length > 0) trailing = length % kFrameBytes;
    if (length / kFrameBytes > std::numeric_limits<int>::max()) {
      dvclose(record);
      error = quoted(path) + " holds " + std::to_string(length / kFrameBytes) +
              " frames, more than can be numbered (at most " +
              std::to_string(std::numeric_limits<int>::max()) + ")";
      return nullptr;
    }
  }
  return std::unique_ptr<DvSource>(new DvSource(record, trailing));
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
  if (dv_fseek64(record_->file, frame, SEEK_SET) != 0 ||
      std::fread(block_.data(), block_.size(), 1, record_->file) != 1) {
    error = "it cannot be read whole (did the file shrink?)";
    return false;
  }
  return true;
}

}  // namespace ozmira::frame_export
