#include "guarded_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

namespace ozmira::test {
namespace {
size_t page_size() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }
}  // namespace

GuardedBuffer::GuardedBuffer(size_t size) : size_(size) {
  const size_t page = page_size();
  const size_t data_pages = (size + page - 1) / page;
  mapping_size_ = (data_pages + 1) * page;
  void *m = mmap(nullptr, mapping_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::runtime_error("mmap failed");
  mapping_ = static_cast<uint8_t *>(m);
  uint8_t *guard = mapping_ + data_pages * page;
  if (mprotect(guard, page, PROT_NONE) != 0) throw std::runtime_error("mprotect failed");
  data_ = guard - size;
}

GuardedBuffer::~GuardedBuffer() { munmap(mapping_, mapping_size_); }

const uint8_t *GuardedBuffer::unreadable() {
  static const uint8_t *page = [] {
    void *m = mmap(nullptr, page_size(), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::runtime_error("mmap failed");
    return static_cast<const uint8_t *>(m);
  }();
  return page;
}

}  // namespace ozmira::test
