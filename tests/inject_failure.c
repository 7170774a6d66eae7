/* Preloaded into the viewer by its tests: with OZMIRA_FAIL=buffer, allocating
 * the 720 x 576 x 3 picture buffer fails; otherwise SDL cannot make a surface
 * over the picture. */
#include <SDL.h>
#include <stdlib.h>
#include <string.h>

void *__libc_calloc(size_t count, size_t size);

void *calloc(size_t count, size_t size) {
  const char *fail = getenv("OZMIRA_FAIL");
  return count * size == 720 * 576 * 3 && fail != NULL && strcmp(fail, "buffer") == 0 ? NULL : __libc_calloc(count, size);
}

SDL_Surface *SDL_CreateRGBSurfaceFrom(void *pixels, int width, int height, int depth, int pitch, Uint32 red,
                                      Uint32 green, Uint32 blue, Uint32 alpha) {
  (void)pixels, (void)width, (void)height, (void)depth, (void)pitch, (void)red, (void)green, (void)blue, (void)alpha;
  SDL_SetError("injected failure");
  return NULL;
}
