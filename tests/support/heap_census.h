/*
 * Heap census for memory tests: heap_census.c replaces malloc, calloc,
 * realloc, free, the aligned allocators and C++'s plain operator new in the
 * process that links it (or preloads it), forwarding to glibc, and keeps
 * count of
 *  - allocation calls by where the call came from: the main executable (our
 *    own code: the viewer, dvlib and the frame decoder are linked into it
 *    statically), libdv, or anywhere else (the C and C++ libraries, SDL);
 *  - blocks and bytes outstanding, so that an allocation freed again in the
 *    same frame (libdv's dv_parse_header takes and frees a small bit-stream
 *    reader on every call) is told apart from growth.
 * Not for sanitizer builds, whose runtime replaces the allocator itself.
 */
#ifndef OZMIRA_HEAP_CENSUS_H
#define OZMIRA_HEAP_CENSUS_H

#ifdef __cplusplus
extern "C" {
#endif

struct heap_census {
  long long calls_from_program; /* allocation calls made by the main executable */
  long long calls_from_libdv;
  long long calls_from_elsewhere;
  long long blocks_outstanding; /* allocated and not yet freed */
  long long bytes_outstanding;  /* their usable sizes */
};

/* The counts so far. */
void heap_census_take(struct heap_census *census);

/* VmRSS of this process in KiB from /proc/self/status, read without the
 * heap; -1 when it cannot be read. */
long heap_census_rss_kib(void);

#ifdef __cplusplus
}
#endif

#endif /* OZMIRA_HEAP_CENSUS_H */
