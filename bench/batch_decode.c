/*
 * Not a benchmark of its own: a dvlib host that decodes every frame of each
 * file named into packed RGB (dvreadframe, full detail) and throws the
 * pictures away, on THREADS decoding threads (dvthreads; 0 for one per core).
 * bench/batch_export.sh times it one file at a time on every core against
 * one job per file and core on one thread each.
 *   batch_decode THREADS FILE...
 */
#include <stdio.h>
#include <stdlib.h>

#include "dvlib.h"

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: batch_decode THREADS FILE...\n");
    return 2;
  }
  dvinit();
  dvthreads(atoi(argv[1]));
  unsigned char *image = malloc((size_t)DVLIB_FULL_WIDTH * DVLIB_FULL_HEIGHT * 3);
  if (image == NULL) return 1;
  int failed = 0;
  for (int i = 2; i < argc; ++i) {
    dvfile *dv = dvopen(argv[i]);
    if (dv == NULL) {
      failed = 1;
      continue;
    }
    for (int frame = 0; frame < dv->num_frames; ++frame) failed |= dvreadframe(dv, image, frame) != 1;
    dvclose(dv);
  }
  free(image);
  return failed;
}
