// Access to the test clips that make_clips.sh writes into the build tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ozmira::test {

inline constexpr size_t kPalFrameBytes = 144000;
inline constexpr size_t kNtscFrameBytes = 120000;

std::string clip_path(const std::string &name);
std::vector<uint8_t> read_clip(const std::string &name);

// The whole frames of a clip, each in a block with zeroed room behind it:
// libdv's own decoder reads a few bytes past a damaged frame's last segment,
// and ours reads zeros there, so the room keeps the two comparable.
std::vector<std::vector<uint8_t>> clip_frames(const std::string &name, size_t frame_bytes = kPalFrameBytes);

}  // namespace ozmira::test
