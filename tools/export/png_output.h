// A picture as a PNG image: 8-bit RGB for the colour pictures (the 0 byte of
// R G B 0 pixels is dropped), 8-bit greyscale for luminance.
#pragma once

#include <cstdio>
#include <string>

#include "pictures.h"

namespace ozmira::frame_export {

// Writes the whole PNG to `stream`. False with a message on any failure.
bool write_png(std::FILE *stream, const Picture &picture, std::string &error);

}  // namespace ozmira::frame_export
