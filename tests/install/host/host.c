/*
 * A host program outside the ozmira tree, written in C and built against an
 * installed dvlib: opens a raw PAL DV file, prints its attributes, reads one
 * frame into a packed RGB image, writes it as a binary PPM and closes the file.
 * With FORMAT (1, 4, 8 or 11) it draws the frame block with dvreadformat in
 * that output format instead, as PPM, or PGM for luminance.
 *   dvlib_host DVFILE FRAME OUT.ppm [FORMAT]
 * Prints the frame count last; exit status 0 on success, 1 on failure, 2 on
 * wrong usage.
 */
#include <dvlib.h>
#include <stdio.h>
#include <stdlib.h>

static int write_format(dvfile *dv, int frame, int format, FILE *out) {
  static unsigned char block[144000], image[DVLIB_FULL_HEIGHT * DVLIB_FULL_WIDTH * 4];
  unsigned char *rows[DVLIB_FULL_HEIGHT];
  const int thumb = format == DVLIB_FORMAT_THUMB_RGB0, half = format == DVLIB_FORMAT_HALF_RGB0;
  const int width = thumb ? DVLIB_THUMB_WIDTH : half ? DVLIB_HALF_WIDTH : DVLIB_FULL_WIDTH;
  const int height = thumb ? DVLIB_THUMB_HEIGHT : half ? DVLIB_HALF_HEIGHT : DVLIB_FULL_HEIGHT;
  const int in_bytes = format == DVLIB_FORMAT_LUMA ? 1 : format == DVLIB_FORMAT_RGB ? 3 : 4;
  int pitch = width * in_bytes;
  for (int y = 0; y < height; y++) rows[y] = image + (size_t)y * pitch;
  if (dv_fseek64(dv->file, frame, SEEK_SET) != 0 || fread(block, sizeof block, 1, dv->file) != 1 ||
      dvreadformat(block, format, rows, &pitch, DVLIB_REQUEST_FULL) != 1)
    return 0;
  fprintf(out, "P%d\n%d %d\n255\n", in_bytes == 1 ? 5 : 6, width, height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) fwrite(rows[y] + x * in_bytes, in_bytes == 1 ? 1 : 3, 1, out);
  return !ferror(out);
}

int main(int argc, char **argv) {
  if (argc != 4 && argc != 5) {
    fprintf(stderr, "usage: dvlib_host DVFILE FRAME OUT.ppm [FORMAT]\n");
    return 2;
  }
  dvinit();
  dvfile *dv = dvopen(argv[1]);
  if (dv == NULL) return 1;
  DisplayDvAttributes(dv);
  const size_t bytes = (size_t)dv->x_size * (size_t)dv->y_size * 3;
  unsigned char *image = malloc(bytes);
  FILE *out = fopen(argv[3], "wb");
  int ok = out != NULL && (argc == 5 ? write_format(dv, atoi(argv[2]), atoi(argv[4]), out)
                                     : image != NULL && dvreadframe(dv, image, atoi(argv[2])) == 1 &&
                                           fprintf(out, "P6\n%d %d\n255\n", dv->x_size, dv->y_size) > 0 &&
                                           fwrite(image, bytes, 1, out) == 1);
  if (out != NULL && fclose(out) != 0) ok = 0;
  printf("%d frames\n", dv->num_frames);
  free(image);
  return dvclose(dv) == 0 && ok ? 0 : 1;
}
