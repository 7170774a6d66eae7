// Preloaded into ozmira-export by export_test.cpp: a file system without unnamed files, where open with
// O_TMPFILE fails as it does there, so that the named temporary files are the ones taken.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

static int open_unless_unnamed(const char *name, const char *path, int flags, va_list rest) {
  const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(rest, mode_t) : 0;
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  int (*real)(const char *, int, ...) = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, name);
  return real(path, flags, mode);
}
int open(const char *path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int fd = open_unless_unnamed("open", path, flags, rest);
  va_end(rest);
  return fd;
}
int open64(const char *path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int fd = open_unless_unnamed("open64", path, flags, rest);
  va_end(rest);
  return fd;
}
