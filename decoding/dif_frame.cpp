#include "dif_frame.h"

namespace ozmira {
namespace {

constexpr int kDsfByte = 3;
constexpr uint8_t kDsfBit = 0x80;

bool Accepted(const uint8_t *pack, uint8_t id, bool (*accept)(const uint8_t *)) {
  return pack[0] == id && (accept == nullptr || accept(pack));
}

const uint8_t *FindInSequence(const uint8_t *frame, int sequence, PackArea area, uint8_t id,
                              bool (*accept)(const uint8_t *)) {
  switch (area) {
    case PackArea::kSubcode:
      for (int index : kSubcodeBlocks) {
        for (int s = 0; s < kSyncBlocksPerSubcode; ++s) {
          const uint8_t *pack = DifBlock(frame, sequence, index) + kSyncBlockPackAt + s * kSyncBlockBytes;
          if (Accepted(pack, id, accept)) return pack;
        }
      }
      break;
    case PackArea::kVaux:
      for (int index : kVauxBlocks) {
        for (int p = 0; p < kPacksPerVaux; ++p) {
          const uint8_t *pack = DifBlock(frame, sequence, index) + kDifIdBytes + p * kPackBytes;
          if (Accepted(pack, id, accept)) return pack;
        }
      }
      break;
    case PackArea::kAaux:
      for (int n = 0; n < kAudioBlocksPerSequence; ++n) {
        const uint8_t *pack = DifBlock(frame, sequence, AudioBlockIndex(n)) + kDifIdBytes;
        if (Accepted(pack, id, accept)) return pack;
      }
      break;
  }
  return nullptr;
}

}  // namespace

int DifSequencesMarked(const uint8_t *frame) {
  return (frame[kDsfByte] & kDsfBit) != 0 ? kDifSequences625 : kDifSequences525;
}

bool HoldsNoRecordedBlocks(const uint8_t *frame) {
  constexpr int kSubcode = 1, kVaux = 2, kAudio = 3, kVideo = 4, kSectionShift = 5;
  const int sequences = DifSequencesMarked(frame);
  for (int sequence = 0; sequence < sequences; ++sequence) {
    for (int index = 1; index < kBlocksPerSequence; ++index) {
      int section = kVideo;
      if (index < kVauxBlocks[0]) {
        section = kSubcode;
      } else if (index < kFirstAudioBlock) {
        section = kVaux;
      } else if (!IsVideoBlock(index)) {
        section = kAudio;
      }
      if ((DifBlock(frame, sequence, index)[0] >> kSectionShift) == section) return false;
    }
  }
  return true;
}

const uint8_t *FindPack(const uint8_t *frame, PackArea area, uint8_t id, bool (*accept)(const uint8_t *)) {
  const int sequences = DifSequencesMarked(frame);
  for (int sequence = 0; sequence < sequences; ++sequence) {
    const uint8_t *pack = FindInSequence(frame, sequence, area, id, accept);
    if (pack != nullptr) return pack;
  }
  return nullptr;
}

}  // namespace ozmira
