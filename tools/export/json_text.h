// Text as a JSON string, valid whatever bytes it holds. File names on Linux
// are bytes, not always UTF-8: well-formed UTF-8 is written as it is (quotes,
// backslashes and control characters escaped), and each byte that is not part
// of a well-formed UTF-8 character becomes U+FFFD, written \ufffd.
// json_needs_bytes() tells when that happened, so the caller can add the
// exact bytes as hexadecimal (json_hex).
#pragma once

#include <string>

namespace ozmira::frame_export {

std::string json_string(const std::string &text);
bool json_needs_bytes(const std::string &text);  // not well-formed UTF-8
std::string json_hex(const std::string &text);   // "2f746d70..." (quoted), two digits a byte

}  // namespace ozmira::frame_export
