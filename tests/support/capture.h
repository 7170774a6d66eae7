// Captures what a piece of code writes to standard output or standard error,
// at the file-descriptor level, so C stdio writes from any library are seen.
#pragma once

#include <functional>
#include <string>

namespace ozmira::test {

struct Captured {
  std::string out, err;
};

Captured capture_output(const std::function<void()> &run);

}  // namespace ozmira::test
