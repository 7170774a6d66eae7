#include "info_output.h"

namespace ozmira::frame_export {
namespace {

constexpr int kSampling420 = 2, kSampling411 = 1;
constexpr int kColour = 1, kGreyscale = 0;

const char *sampling_name(int code) {
  switch (code) {
    case kSampling420: return "4:2:0";
    case kSampling411: return "4:1:1";
    default: return "unknown";
  }
}

const char *colour_name(int type) {
  switch (type) {
    case kColour: return "colour";
    case kGreyscale: return "greyscale";
    default: return "not stated";
  }
}

// A JSON string: quotes, backslashes and control characters escaped; other
// bytes are passed on as they are.
std::string json_string(const std::string &text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

}  // namespace

void print_file_info(std::FILE *out, const std::string &path, const dvfile &a, int64_t trailing_bytes, bool json) {
  if (json) {
    std::fprintf(out,
                 "{\"file\":%s,\"block_size\":%d,\"x_size\":%d,\"y_size\":%d,\"code\":%d,\"sampling\":\"%s\","
                 "\"type\":%d,\"colour\":\"%s\",\"num_frames\":%d,\"trailing_bytes\":%lld}\n",
                 json_string(path).c_str(), a.block_size, a.x_size, a.y_size, a.code, sampling_name(a.code), a.type,
                 colour_name(a.type), a.num_frames, static_cast<long long>(trailing_bytes));
    return;
  }
  std::fprintf(out, "file:            %s\n", path.c_str());
  std::fprintf(out, "block size:      %d\n", a.block_size);
  std::fprintf(out, "frame size:      %d x %d\n", a.x_size, a.y_size);
  std::fprintf(out, "sampling:        %s (code %d)\n", sampling_name(a.code), a.code);
  std::fprintf(out, "colour:          %s (type %d)\n", colour_name(a.type), a.type);
  std::fprintf(out, "frames:          %d\n", a.num_frames);
  std::fprintf(out, "trailing bytes:  %lld%s\n", static_cast<long long>(trailing_bytes),
               trailing_bytes != 0 ? " (a partial frame, never read)" : "");
}

void print_frame_info(std::FILE *out, int frame, const dvfile *a, bool json) {
  if (a == nullptr) {
    if (json)
      std::fprintf(out, "{\"frame\":%d,\"error\":\"header does not parse\"}\n", frame);
    else
      std::fprintf(out, "frame %d: header does not parse\n", frame);
    return;
  }
  if (json) {
    std::fprintf(out,
                 "{\"frame\":%d,\"x_size\":%d,\"y_size\":%d,\"code\":%d,\"sampling\":\"%s\",\"type\":%d,"
                 "\"colour\":\"%s\"}\n",
                 frame, a->x_size, a->y_size, a->code, sampling_name(a->code), a->type, colour_name(a->type));
    return;
  }
  std::fprintf(out, "frame %d: %d x %d, %s (code %d), %s (type %d)\n", frame, a->x_size, a->y_size,
               sampling_name(a->code), a->code, colour_name(a->type), a->type);
}

}  // namespace ozmira::frame_export
