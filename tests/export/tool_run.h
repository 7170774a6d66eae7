// Runs ozmira-export as a process and reads back what it left: its output
// and exit status, and PNG images, read with libpng.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ozmira::test {

struct ToolRun {
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;   // the signal that ended it
  std::string out, err;
};

struct ToolSetup {
  bool stderr_on_terminal = false;  // standard error on a pseudo-terminal
  off_t file_size_limit = 0;        // RLIMIT_FSIZE when not 0; writes past it fail with EFBIG
};

ToolRun run_tool(const std::vector<std::string> &args, const ToolSetup &setup = {});

// Starts the tool with its output thrown away; the caller waits for it.
pid_t start_tool(const std::vector<std::string> &args);
ToolRun wait_tool(pid_t pid);

struct PngPicture {
  int width = 0, height = 0, channels = 0;  // 3 RGB, 1 grey; 8 bits each
  std::vector<uint8_t> pixels;              // rows back to back
};

// The whole image, or nothing when the file is not a complete 8-bit RGB or
// grey PNG.
std::optional<PngPicture> read_png(const std::string &path);

}  // namespace ozmira::test
