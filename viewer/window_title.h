// The window title "Ozmira <path>", cut to fit its fixed buffer.
#pragma once

#include <cstddef>

namespace ozmira::viewer {

inline constexpr std::size_t kTitleBytes = 512;

// Writes "Ozmira " and `path` into `title`, always terminated. A path too long
// for the buffer is cut, never written past it, and never inside a UTF-8
// character, so the window system gets a valid string.
void FormatTitle(char (&title)[kTitleBytes], const char *path);

}  // namespace ozmira::viewer
