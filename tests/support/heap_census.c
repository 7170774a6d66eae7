/* The heap census of heap_census.h: glibc's allocator behind counting entry
 * points. glibc exports its own allocator as __libc_malloc and friends, so
 * the replacements forward there without dlsym (which itself allocates). */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include "heap_census.h"

#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <malloc.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t count, size_t size);
extern void *__libc_realloc(void *block, size_t size);
extern void *__libc_memalign(size_t alignment, size_t size);
extern void __libc_free(void *block);

enum { kMaxRanges = 8, kStatusBytes = 8192 };

struct code_ranges {
  int count;
  uintptr_t begin[kMaxRanges], end[kMaxRanges];
};

static struct code_ranges program_code, libdv_code;
static struct heap_census counts;

static void add(long long *counter, long long amount) { __atomic_fetch_add(counter, amount, __ATOMIC_RELAXED); }

static int within(const struct code_ranges *ranges, uintptr_t address) {
  for (int i = 0; i < ranges->count; ++i)
    if (address >= ranges->begin[i] && address < ranges->end[i]) return 1;
  return 0;
}

static void count_call(const void *caller) {
  const uintptr_t address = (uintptr_t)caller;
  if (within(&program_code, address))
    add(&counts.calls_from_program, 1);
  else if (within(&libdv_code, address))
    add(&counts.calls_from_libdv, 1);
  else
    add(&counts.calls_from_elsewhere, 1);
}

/* sign +1 for a block handed out, -1 for one given back. */
static void count_block(void *block, long long sign) {
  if (block == NULL) return;
  add(&counts.blocks_outstanding, sign);
  add(&counts.bytes_outstanding, sign * (long long)malloc_usable_size(block));
}

/* The executable code of the main program (the first object listed) and of
 * libdv, found once the program's libraries are loaded. */
static int note_code(struct dl_phdr_info *info, size_t size, void *first_object) {
  (void)size;
  struct code_ranges *ranges = NULL;
  int *first = first_object;
  if (*first) {
    ranges = &program_code;
    *first = 0;
  } else if (info->dlpi_name != NULL && strstr(info->dlpi_name, "/libdv.so") != NULL) {
    ranges = &libdv_code;
  }
  if (ranges == NULL) return 0;
  for (int i = 0; i < info->dlpi_phnum && ranges->count < kMaxRanges; ++i) {
    const ElfW(Phdr) *segment = &info->dlpi_phdr[i];
    if (segment->p_type != PT_LOAD || !(segment->p_flags & PF_X)) continue;
    ranges->begin[ranges->count] = info->dlpi_addr + segment->p_vaddr;
    ranges->end[ranges->count] = ranges->begin[ranges->count] + segment->p_memsz;
    ranges->count++;
  }
  return 0;
}

__attribute__((constructor)) static void find_code(void) {
  int first = 1;
  dl_iterate_phdr(note_code, &first);
}

void heap_census_take(struct heap_census *census) {
  census->calls_from_program = __atomic_load_n(&counts.calls_from_program, __ATOMIC_RELAXED);
  census->calls_from_libdv = __atomic_load_n(&counts.calls_from_libdv, __ATOMIC_RELAXED);
  census->calls_from_elsewhere = __atomic_load_n(&counts.calls_from_elsewhere, __ATOMIC_RELAXED);
  census->blocks_outstanding = __atomic_load_n(&counts.blocks_outstanding, __ATOMIC_RELAXED);
  census->bytes_outstanding = __atomic_load_n(&counts.bytes_outstanding, __ATOMIC_RELAXED);
}

long heap_census_rss_kib(void) {
  char text[kStatusBytes];
  const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const ssize_t length = read(fd, text, sizeof text - 1);
  close(fd);
  if (length <= 0) return -1;
  text[length] = '\0';
  const char *line = strstr(text, "\nVmRSS:");
  return line != NULL ? strtol(line + strlen("\nVmRSS:"), NULL, 10) : -1;
}

void *malloc(size_t size) {
  count_call(__builtin_return_address(0));
  void *block = __libc_malloc(size);
  count_block(block, +1);
  return block;
}

void *calloc(size_t count, size_t size) {
  count_call(__builtin_return_address(0));
  void *block = __libc_calloc(count, size);
  count_block(block, +1);
  return block;
}

void *realloc(void *old, size_t size) {
  count_call(__builtin_return_address(0));
  const long long old_bytes = old != NULL ? (long long)malloc_usable_size(old) : 0;
  void *block = __libc_realloc(old, size);
  if (old == NULL) {
    count_block(block, +1);
  } else if (block != NULL) {
    add(&counts.bytes_outstanding, (long long)malloc_usable_size(block) - old_bytes);
  } else if (size == 0) {  /* glibc frees the block and gives null */
    add(&counts.blocks_outstanding, -1);
    add(&counts.bytes_outstanding, -old_bytes);
  }
  return block;
}

void free(void *block) {
  count_block(block, -1);
  __libc_free(block);
}

static void *aligned(size_t alignment, size_t size, const void *caller) {
  count_call(caller);
  void *block = __libc_memalign(alignment, size);
  count_block(block, +1);
  return block;
}

void *memalign(size_t alignment, size_t size) { return aligned(alignment, size, __builtin_return_address(0)); }
void *aligned_alloc(size_t alignment, size_t size) { return aligned(alignment, size, __builtin_return_address(0)); }

int posix_memalign(void **out, size_t alignment, size_t size) {
  if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  void *block = aligned(alignment, size, __builtin_return_address(0));
  if (block == NULL) return ENOMEM;
  *out = block;
  return 0;
}

/* C++'s operator new and new[], plain and nothrow (their mangled names), so
 * that a `new` in our own code counts as ours and not as the C++ library's.
 * Out of memory ends the process: a test instrument has no bad_alloc. */
static void *new_block(size_t size, const void *caller, int may_fail) {
  count_call(caller);
  void *block = __libc_malloc(size != 0 ? size : 1);
  if (block == NULL && !may_fail) abort();
  count_block(block, +1);
  return block;
}

void *_Znwm(size_t size) { return new_block(size, __builtin_return_address(0), 0); }
void *_Znam(size_t size) { return new_block(size, __builtin_return_address(0), 0); }
void *_ZnwmRKSt9nothrow_t(size_t size, const void *tag) {
  (void)tag;
  return new_block(size, __builtin_return_address(0), 1);
}
void *_ZnamRKSt9nothrow_t(size_t size, const void *tag) {
  (void)tag;
  return new_block(size, __builtin_return_address(0), 1);
}
