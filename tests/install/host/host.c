/*
 * A host program outside the ozmira tree, written in C and built against an
 * installed dvlib: opens a raw PAL DV file, prints its attributes, reads one
 * frame into a packed RGB image, writes it as a binary PPM and closes the file.
 *   dvlib_host DVFILE FRAME OUT.ppm
 * Prints the frame count last; exit status 0 on success, 1 on failure, 2 on
 * wrong usage.
 */
#include <dvlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: dvlib_host DVFILE FRAME OUT.ppm\n");
    return 2;
  }
  dvinit();
  dvfile *dv = dvopen(argv[1]);
  if (dv == NULL) return 1;
  DisplayDvAttributes(dv);
  const size_t bytes = (size_t)dv->x_size * (size_t)dv->y_size * 3;
  unsigned char *image = malloc(bytes);
  int ok = image != NULL && dvreadframe(dv, image, atoi(argv[2])) == 1;
  FILE *out = ok ? fopen(argv[3], "wb") : NULL;
  ok = out != NULL && fprintf(out, "P6\n%d %d\n255\n", dv->x_size, dv->y_size) > 0 &&
       fwrite(image, bytes, 1, out) == 1;
  if (out != NULL && fclose(out) != 0) ok = 0;
  printf("%d frames\n", dv->num_frames);
  free(image);
  return dvclose(dv) == 0 && ok ? 0 : 1;
}
