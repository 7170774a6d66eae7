/*
 * A host program written in C: opens a DV file, prints its attributes, reads
 * its last frame into an image it allocates, writes the image's bytes to a
 * file and closes the DV file.
 *   dvlib_c_host DVFILE IMAGE_OUT
 * Exit status 0 on success, 1 when any step fails, 2 on wrong usage.
 */
#include <stdio.h>
#include <stdlib.h>

#include "dvlib.h"

static int save_image(const char *path, const unsigned char *image, size_t bytes) {
  FILE *out = fopen(path, "wb");
  if (out == NULL) return 0;
  const int written = fwrite(image, bytes, 1, out) == 1;
  return fclose(out) == 0 && written;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: dvlib_c_host DVFILE IMAGE_OUT\n");
    return 2;
  }
  dvinit();
  dvfile *dv = dvopen(argv[1]);
  if (dv == NULL) return 1;
  DisplayDvAttributes(dv);

  const size_t bytes = (size_t)dv->x_size * (size_t)dv->y_size * 3;
  const int last = dv->num_frames - 1;
  unsigned char *image = malloc(bytes);
  const int ok = image != NULL && dvreadframe(dv, image, last) == 1 && save_image(argv[2], image, bytes);
  if (ok) printf("frame %d: %zu bytes\n", last, bytes);
  free(image);
  return dvclose(dv) == 0 && ok ? 0 : 1;
}
