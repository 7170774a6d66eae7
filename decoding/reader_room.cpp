#include "reader_room.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "frame_decoder.h"

namespace ozmira {
namespace {

// libdv's seek takes a 32-bit bit offset and reads two words at offset / 8;
// a few thousand words more may follow before the parse of the segment ends.
constexpr size_t kFarthestSeek = size_t{1} << 29;
constexpr size_t kWordsAfterSeek = size_t{1} << 16;
constexpr size_t kStandInRoom = 4096;

uint8_t *map_room() {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t bytes = kFarthestSeek + kWordsAfterSeek;
  void *room = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room == MAP_FAILED) return nullptr;
  // Only the first page, where the copy goes, is ever written.
  if (mprotect(room, page, PROT_READ | PROT_WRITE) != 0) {
    munmap(room, bytes);
    return nullptr;
  }
  return static_cast<uint8_t *>(room);
}

}  // namespace

const uint8_t *copy_into_reader_room(const uint8_t *segment) {
  // Plain globals set on first use (the decoder is single-threaded): C hosts
  // link the static library without the C++ runtime's guarded statics.
  alignas(16) static uint8_t stand_in[kSegmentBytes + kStandInRoom];
  static uint8_t *room = nullptr;
  if (room == nullptr) {
    room = map_room();
    if (room == nullptr) room = stand_in;
  }
  std::memcpy(room, segment, kSegmentBytes);
  return room;
}

}  // namespace ozmira
