// Frames of a test clip for the benchmarks, each in a block with zeroed room
// behind it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ozmira::bench {

std::string clip_path(const std::string &name);
std::vector<std::vector<uint8_t>> clip_frames(const std::string &name);

}  // namespace ozmira::bench
