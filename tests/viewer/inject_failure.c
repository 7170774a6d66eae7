/* Failures the viewer cannot otherwise be driven into, loaded with LD_PRELOAD
 * by the start-up test. Built twice:
 *   FAIL_PICTURE_BUFFER: allocating the 720 x 576 x 3 picture buffer fails;
 *   FAIL_PICTURE_SURFACE: SDL cannot make a surface over client pixels. */
#include <SDL.h>
#include <stddef.h>

#ifdef FAIL_PICTURE_BUFFER
void *__libc_calloc(size_t count, size_t size);

void *calloc(size_t count, size_t size) {
  if (count * size == 720 * 576 * 3) return NULL;
  return __libc_calloc(count, size);
}
#endif

#ifdef FAIL_PICTURE_SURFACE
SDL_Surface *SDL_CreateRGBSurfaceFrom(void *pixels, int width, int height, int depth, int pitch, Uint32 rmask,
                                      Uint32 gmask, Uint32 bmask, Uint32 amask) {
  (void)pixels, (void)width, (void)height, (void)depth, (void)pitch, (void)rmask, (void)gmask, (void)bmask,
      (void)amask;
  SDL_SetError("injected failure");
  return NULL;
}
#endif
