// The viewer's own access to a raw PAL DV file: whole 144000-byte frames back
// to back, found by number with 64-bit positions so files of 2 GiB and more
// play.
#pragma once

#include <cstddef>
#include <cstdio>

#include "dvlib.h"

namespace ozmira::viewer {

inline constexpr int kFrameBytes = DVLIB_FRAME_BYTES;

enum class OpenFailure { kNone, kCannotOpen, kNotAFile };

// Opens `path` as a read-only ("rb") stream. Returns null with kCannotOpen
// when it cannot be opened, and with kNotAFile when it is neither a regular
// file nor a block device (a named pipe, a socket, a terminal, a directory):
// those have no frames to seek to, and a pipe is never waited on.
std::FILE *OpenFrameFile(const char *path, OpenFailure &failure);

// Whole frames in `file`: its size / 144000, truncated (a trailing partial
// frame never counts), at most INT_MAX; 0 when the size cannot be had.
// Leaves the stream at the start of the file.
int CountWholeFrames(std::FILE *file);

// Seeks to frame `frameno` (at frameno x 144000, in 64 bits) and reads up to
// 144000 bytes into `framebuf`. Returns the number of bytes read; bytes not
// read keep what they held.
std::size_t ReadFrame(std::FILE *file, int frameno, unsigned char *framebuf);

}  // namespace ozmira::viewer
