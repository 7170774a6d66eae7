// Preloaded into ozmira-export by export_test.cpp: a process that may make no thread, as under a limit
// of processes, so that the export and dvlib must go on with the thread they have.
#include <errno.h>
#include <pthread.h>

int pthread_create(pthread_t *thread, const pthread_attr_t *attributes, void *(*start)(void *),
                   void *argument) {
  (void)thread;
  (void)attributes;
  (void)start;
  (void)argument;
  return EAGAIN;
}
