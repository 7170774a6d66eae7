// Window title formatting.
#include "window_title.h"

#include <cstdio>
#include <cstring>

namespace ozmira::viewer {
namespace {

constexpr char kTitlePrefix[] = "Ozmira ";

bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

void FormatTitle(char (&title)[kTitleBytes], const char *path) {
  const int full_length = std::snprintf(title, kTitleBytes, "%s%s", kTitlePrefix, path);
  if (full_length < static_cast<int>(kTitleBytes)) return;

  // snprintf kept kTitleBytes - 1 bytes. When the first byte it dropped
  // continues a character, drop the kept start of that character as well.
  std::size_t kept = kTitleBytes - 1;
  const std::size_t prefix_length = std::strlen(kTitlePrefix);
  if (IsUtf8Continuation(path[kept - prefix_length])) {
    while (kept > prefix_length && IsUtf8Continuation(title[kept - 1])) --kept;
    if (kept > prefix_length && static_cast<unsigned char>(title[kept - 1]) >= 0xC0) --kept;  // its lead byte
  }
  title[kept] = '\0';
}

}  // namespace ozmira::viewer
