// Where a 625/50 frame keeps its packs: the five-byte records of subcode,
// VAUX and AAUX that describe the recording. A pack is an id byte and four
// bytes of data; a pack that was not recorded reads 0xff throughout.
//
// Every DIF sequence (150 blocks of 80 bytes) holds two subcode blocks (1, 2)
// of six sync blocks each (3 id bytes, then a pack), three VAUX blocks (3-5)
// of 15 packs each, and nine audio blocks (6 + 16 n) that each begin with one
// AAUX pack; the video blocks are the rest from block 7 on.
#pragma once

#include <cstdint>

namespace ozmira::frame_export {

inline constexpr int kDifBlockBytes = 80;
inline constexpr int kBlocksPerSequence = 150;
inline constexpr int kPalSequences = 12;
inline constexpr int kFirstAudioBlock = 6, kAudioBlockSpacing = 16, kAudioBlocksPerSequence = 9;

enum class PackArea { subcode, vaux, aaux };

// The first pack with `id` in `area` of the 144000-byte frame `block`, in
// sequence order; null when there is none.
const uint8_t *find_pack(const uint8_t *block, PackArea area, uint8_t id);

// Whether block `index` (0-149) of a DIF sequence carries compressed video.
bool is_video_block(int index);

}  // namespace ozmira::frame_export
