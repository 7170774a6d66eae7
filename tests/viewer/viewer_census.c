/* Preloaded into the viewer by memory_test.sh together with heap_census.c.
 * Every cycle that shows a picture ends in one SDL_Flip, so this wraps
 * SDL_Flip to count those cycles: it takes a heap census and the resident
 * memory after kWarmCycles, samples the resident memory every
 * kRssSampleCycles, takes the census again after kEndCycles, writes what it
 * saw to the file named by OZMIRA_CENSUS_OUT and then asks the viewer to quit
 * as closing its window would. */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "heap_census.h"

enum { kWarmCycles = 500, kEndCycles = 3000, kRssSampleCycles = 50, kLineBytes = 512 };

static int cycles;
static struct heap_census warm;
static long warm_rss, most_rss;

/* One line: cycles, resident KiB after warm-up, at the end and at most in
 * between, then the allocation calls from the viewer's executable, from libdv
 * and from elsewhere, and the change in outstanding blocks and bytes, all
 * between the two censuses. */
static void report(void) {
  struct heap_census end;
  heap_census_take(&end);
  const long end_rss = heap_census_rss_kib();
  char line[kLineBytes];
  const int length = snprintf(line, sizeof line, "%d %ld %ld %ld %lld %lld %lld %lld %lld\n", kEndCycles - kWarmCycles,
                              warm_rss, end_rss, most_rss, end.calls_from_program - warm.calls_from_program,
                              end.calls_from_libdv - warm.calls_from_libdv,
                              end.calls_from_elsewhere - warm.calls_from_elsewhere,
                              end.blocks_outstanding - warm.blocks_outstanding,
                              end.bytes_outstanding - warm.bytes_outstanding);
  const char *path = getenv("OZMIRA_CENSUS_OUT");
  const int fd = path != NULL ? open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600) : -1;
  if (fd < 0 || write(fd, line, (size_t)length) != length) fputs("viewer_census: cannot write OZMIRA_CENSUS_OUT\n", stderr);
  if (fd >= 0) close(fd);
}

int SDL_Flip(SDL_Surface *screen) {
  static int (*real_flip)(SDL_Surface *);
  if (real_flip == NULL) real_flip = (int (*)(SDL_Surface *))dlsym(RTLD_NEXT, "SDL_Flip");
  const int result = real_flip(screen);
  ++cycles;
  if (cycles == kWarmCycles) {
    heap_census_take(&warm);
    warm_rss = most_rss = heap_census_rss_kib();
  } else if (cycles > kWarmCycles && cycles % kRssSampleCycles == 0) {
    const long rss = heap_census_rss_kib();
    if (rss > most_rss) most_rss = rss;
  }
  if (cycles == kEndCycles) {
    report();
    SDL_Event quit;
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
  }
  return result;
}
