// Memory whose last byte is followed by an inaccessible page, so that any read
// past the end faults at once instead of going unnoticed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ozmira::test {

class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer &) = delete;
  GuardedBuffer &operator=(const GuardedBuffer &) = delete;

  uint8_t *data() { return data_; }
  const uint8_t *data() const { return data_; }
  size_t size() const { return size_; }

  // An address whose whole page cannot be read or written.
  static const uint8_t *unreadable();

 private:
  uint8_t *mapping_;
  size_t mapping_size_;
  uint8_t *data_;
  size_t size_;
};

}  // namespace ozmira::test
