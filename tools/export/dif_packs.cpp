#include "dif_packs.h"

namespace ozmira::frame_export {
namespace {

constexpr int kSubcodeBlocks[] = {1, 2};
constexpr int kSyncBlocksPerSubcode = 6, kSyncBlockBytes = 8, kSyncBlockPackAt = 6;
constexpr int kVauxBlocks[] = {3, 4, 5};
constexpr int kPacksPerVaux = 15, kPackBytes = 5;
constexpr int kDifIdBytes = 3;  // every block's packs start after its 3-byte id
constexpr int kFirstVideoBlock = 7;

const uint8_t *block_of(const uint8_t *frame, int sequence, int index) {
  return frame + (sequence * kBlocksPerSequence + index) * kDifBlockBytes;
}

}  // namespace

bool is_video_block(int index) {
  return index >= kFirstVideoBlock && (index - kFirstAudioBlock) % kAudioBlockSpacing != 0;
}

const uint8_t *find_pack(const uint8_t *block, PackArea area, uint8_t id) {
  for (int sequence = 0; sequence < kPalSequences; ++sequence) {
    switch (area) {
      case PackArea::subcode:
        for (int index : kSubcodeBlocks) {
          for (int s = 0; s < kSyncBlocksPerSubcode; ++s) {
            const uint8_t *pack = block_of(block, sequence, index) + kSyncBlockPackAt + s * kSyncBlockBytes;
            if (pack[0] == id) return pack;
          }
        }
        break;
      case PackArea::vaux:
        for (int index : kVauxBlocks) {
          for (int p = 0; p < kPacksPerVaux; ++p) {
            const uint8_t *pack = block_of(block, sequence, index) + kDifIdBytes + p * kPackBytes;
            if (pack[0] == id) return pack;
          }
        }
        break;
      case PackArea::aaux:
        for (int n = 0; n < kAudioBlocksPerSequence; ++n) {
          const uint8_t *pack =
              block_of(block, sequence, kFirstAudioBlock + n * kAudioBlockSpacing) + kDifIdBytes;
          if (pack[0] == id) return pack;
        }
        break;
    }
  }
  return nullptr;
}

}  // namespace ozmira::frame_export
