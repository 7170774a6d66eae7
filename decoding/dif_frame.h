// The layout of a DV frame: the one place that says where its DIF blocks lie.
//
// A frame is a run of DIF sequences, 12 for 625/50 (144000 bytes) and 10 for
// 525/60 (120000 bytes), as the DSF bit of its first block marks. Each
// sequence is 150 blocks of 80 bytes: a header block (0), two subcode blocks
// (1, 2) of six sync blocks each (3 id bytes, then a pack), three VAUX blocks
// (3 to 5) of 15 packs each, nine audio blocks (6 + 16 n) that each begin with
// one AAUX pack, and 135 video blocks, the rest from block 7 on. A pack is an
// id byte and four bytes of data; a pack that was not recorded reads 0xff.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ozmira {

inline constexpr int kDifBlockBytes = 80;
inline constexpr int kBlocksPerSequence = 150;
inline constexpr int kDifSequenceBytes = kBlocksPerSequence * kDifBlockBytes;  // 12000
inline constexpr int kDifSequences625 = 12;
inline constexpr int kDifSequences525 = 10;
inline constexpr int kFrameBytes625 = kDifSequences625 * kDifSequenceBytes;  // 144000
inline constexpr int kFrameBytes525 = kDifSequences525 * kDifSequenceBytes;  // 120000
inline constexpr int kPackBytes = 5;
inline constexpr int kDifIdBytes = 3;  // every block's data follows its 3-byte id
inline constexpr int kSubcodeBlocks[] = {1, 2};
inline constexpr int kSyncBlocksPerSubcode = 6, kSyncBlockBytes = 8, kSyncBlockPackAt = 6;
inline constexpr int kVauxBlocks[] = {3, 4, 5};
inline constexpr int kPacksPerVaux = 15;
inline constexpr int kFirstAudioBlock = 6, kAudioBlockSpacing = 16, kAudioBlocksPerSequence = 9;
inline constexpr int kFirstVideoBlock = 7;
inline constexpr int kVideoBlocksPerSequence = 135;
inline constexpr int kAudioBytesPerBlock = kDifBlockBytes - kDifIdBytes - kPackBytes;  // 72

// Samples per frame and channel that a frame may state, for 625/50 and 525/60,
// in the columns 48, 44.1 and 32 kHz.
inline constexpr int kFewestSamples625[3] = {1896, 1742, 1264};
inline constexpr int kMostSamples625[3] = {1944, 1786, 1296};
inline constexpr int kFewestSamples525[3] = {1580, 1452, 1053};
inline constexpr int kMostSamples525[3] = {1620, 1489, 1080};

// The DIF sequences the DSF bit (byte 3, bit 7 of the first DIF block) gives
// the frame at `frame`: 12 when set (625/50), 10 when clear (525/60). Reads
// that one byte.
int DifSequencesMarked(const uint8_t *frame);

// The bytes of the frame the DSF bit marks: 144000 or 120000.
inline int FrameBytesMarked(const uint8_t *frame) { return DifSequencesMarked(frame) * kDifSequenceBytes; }

// Block `index` (0 to 149) of DIF sequence `sequence`.
inline const uint8_t *DifBlock(const uint8_t *frame, int sequence, int index) {
  return frame + (static_cast<size_t>(sequence) * kBlocksPerSequence + index) * kDifBlockBytes;
}

// Whether block `index` (0 to 149) of a DIF sequence carries compressed video.
inline bool IsVideoBlock(int index) {
  return index >= kFirstVideoBlock && (index - kFirstAudioBlock) % kAudioBlockSpacing != 0;
}

// Block `index` of a sequence that holds audio block `n` (0 to 8).
inline constexpr int AudioBlockIndex(int n) { return kFirstAudioBlock + n * kAudioBlockSpacing; }

// Whether no block of the frame past each sequence's header holds the section
// type (the top three bits of its first byte) its position calls for: a tape
// dropout, such as a frame of zero bytes.
bool HoldsNoRecordedBlocks(const uint8_t *frame);

enum class PackArea { kSubcode, kVaux, kAaux };

// The first pack with `id` in `area` of the frame, in sequence order, over
// the sequences its DSF bit marks, for which `accept` (when given) holds;
// null when there is none.
const uint8_t *FindPack(const uint8_t *frame, PackArea area, uint8_t id,
                        bool (*accept)(const uint8_t *pack) = nullptr);

}  // namespace ozmira
