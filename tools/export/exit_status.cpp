#include "exit_status.h"

#include <cstdio>

namespace ozmira::frame_export {

int report_failure(const std::string &message) {
  std::string line = "ozmira-export: " + message;
  if (line.back() != '\n') line += '\n';
  std::fputs(line.c_str(), stderr);
  return kExitFailure;
}

}  // namespace ozmira::frame_export
