// --info: a file's attributes and frame count, and each chosen frame's
// sampling and colour flag, as text or as JSON lines (one object a line).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "dvlib.h"

namespace ozmira::frame_export {

void print_file_info(std::FILE *out, const std::string &path, const dvfile &attributes, int64_t trailing_bytes,
                     bool json);

// `attributes` as dvstatus filled them for frame `frame`, or null when the
// frame's header does not parse.
void print_frame_info(std::FILE *out, int frame, const dvfile *attributes, bool json);

}  // namespace ozmira::frame_export
