// The exit statuses of ozmira-export and its one way of reporting a failure.
#pragma once

#include <string>

namespace ozmira::frame_export {

inline constexpr int kExitOk = 0, kExitFailure = 1, kExitUsage = 2;
inline constexpr int kExitSomeFramesNotDecoded = 3;  // done, but some chosen frames did not decode

// Writes "ozmira-export: MESSAGE" on standard error and returns kExitFailure.
int report_failure(const std::string &message);

}  // namespace ozmira::frame_export
