#include "dv_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "stderr_capture.h"

namespace ozmira::frame_export {
namespace {

constexpr int kFrameBytes = 144000;
constexpr int kPalWidth = 720, kPalHeight = 576;

std::string quoted(const std::string &path) { return "'" + path + "'"; }

// dvopen refused the file; look at it again to say why in the user's terms.
// `library_lines` are dvopen's own lines, the fallback when nothing is found.
std::string diagnose_refusal(const std::string &path, const std::string &library_lines) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "cannot open " + quoted(path) + ": " + std::strerror(errno);
  std::vector<uint8_t> block(kFrameBytes);
  const size_t got = std::fread(block.data(), 1, block.size(), file);
  const int read_error = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (read_error != 0) return "cannot read " + quoted(path) + ": " + std::strerror(read_error);
  if (got < block.size()) {
    return quoted(path) + " is not a DV file: it holds " + std::to_string(got) +
           " bytes, less than one 144000-byte frame";
  }
  dvfile attributes{};
  if (dvstatus(block.data(), &attributes) == -1)
    return quoted(path) + " is not a DV file: the header of frame 0 does not parse";
  if (attributes.x_size != kPalWidth || attributes.y_size != kPalHeight) {
    return quoted(path) + " is not a PAL DV file: frame 0 is " + std::to_string(attributes.x_size) + " x " +
           std::to_string(attributes.y_size) + ", and only 720 x 576 (625/50) files are read";
  }
  return "dvopen refused " + quoted(path) + ":\n" + library_lines;
}

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
  if (record == nullptr) {
    error = diagnose_refusal(path, library_lines);
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

bool DvSource::read_frame(int frame, std::string &error) {
  if (dv_fseek64(record_->file, frame, SEEK_SET) != 0 ||
      std::fread(block_.data(), block_.size(), 1, record_->file) != 1) {
    error = "it cannot be read whole (did the file shrink?)";
    return false;
  }
  return true;
}

}  // namespace ozmira::frame_export
