#include "json_text.h"

#include <cstdint>
#include <cstdio>

namespace ozmira::frame_export {
namespace {

constexpr char kReplacement[] = "\\ufffd";
constexpr unsigned char kFirstPrintable = 0x20;

// Bytes of the well-formed UTF-8 character at text[at], or 0 when the bytes
// there are not one (RFC 3629: no overlong forms, no surrogates, nothing past
// U+10FFFF).
size_t utf8_length(const std::string &text, size_t at) {
  const auto byte = [&](size_t i) { return at + i < text.size() ? static_cast<uint8_t>(text[at + i]) : 0; };
  const uint8_t lead = byte(0);
  const auto continuation = [&](size_t i, uint8_t low = 0x80, uint8_t high = 0xbf) {
    const uint8_t b = byte(i);
    return b >= low && b <= high;
  };
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) return continuation(1) ? 2 : 0;
  if (lead >= 0xe0 && lead <= 0xef) {
    const uint8_t low = lead == 0xe0 ? 0xa0 : 0x80, high = lead == 0xed ? 0x9f : 0xbf;
    return continuation(1, low, high) && continuation(2) ? 3 : 0;
  }
  if (lead >= 0xf0 && lead <= 0xf4) {
    const uint8_t low = lead == 0xf0 ? 0x90 : 0x80, high = lead == 0xf4 ? 0x8f : 0xbf;
    return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
  }
  return 0;
}

}  // namespace

std::string json_string(const std::string &text) {
  std::string quoted = "\"";
  for (size_t at = 0; at < text.size();) {
    const size_t length = utf8_length(text, at);
    const auto c = static_cast<unsigned char>(text[at]);
    if (length == 0) {
      quoted += kReplacement;
      ++at;
      continue;
    }
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < kFirstPrintable) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted.append(text, at, length);
    }
    at += length;
  }
  return quoted + "\"";
}

bool json_needs_bytes(const std::string &text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = utf8_length(text, at);
    if (length == 0) return true;
    at += length;
  }
  return false;
}

std::string json_hex(const std::string &text) {
  std::string hex = "\"";
  char digits[3];
  for (unsigned char c : text) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    hex += digits;
  }
  return hex + "\"";
}

}  // namespace ozmira::frame_export
