// Plain globals and pthreads only: C hosts link the static library without
// the C++ runtime.
#include "worker_pool.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace ozmira {
namespace {

constexpr int kMaxThreads = 64;

// Everything below is guarded by `lock` but the next piece's number.
pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t run_posted = PTHREAD_COND_INITIALIZER;
pthread_cond_t helpers_done = PTHREAD_COND_INITIALIZER;
pthread_once_t fork_handlers_set = PTHREAD_ONCE_INIT;

int wanted = 0;              // 0: as many as online cores
int workers = 0;             // threads made besides the calling one
bool workers_tried = false;  // whether making them was tried

// The run posted last: workers numbered up to `helpers` take part, and the
// poster waits until each of them has finished with it.
struct Run {
  PieceTask task;
  void *context;
  int pieces;
  int helpers;
};
Run posted;
unsigned long generation = 0;
unsigned long generation_when_made = 0;  // workers wait for the run after it
int helpers_busy = 0;
std::atomic<int> next_piece{0};

int online_cores() {
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  return cores < 1 ? 1 : cores > kMaxThreads ? kMaxThreads : static_cast<int>(cores);
}

int threads_in_use() {
  const int limit = wanted == 0 ? online_cores() : wanted;
  return limit < workers + 1 ? limit : workers + 1;
}

void take_pieces(const Run &run) {
  for (int piece; (piece = next_piece.fetch_add(1, std::memory_order_relaxed)) < run.pieces;) {
    run.task(run.context, piece);
  }
}

void *work(void *number) {
  const int me = static_cast<int>(reinterpret_cast<intptr_t>(number));
  pthread_mutex_lock(&lock);
  // The run that made the workers may be posted before they get the lock.
  for (unsigned long seen = generation_when_made;;) {
    while (generation == seen) pthread_cond_wait(&run_posted, &lock);
    seen = generation;
    if (me > posted.helpers) continue;
    const Run run = posted;
    pthread_mutex_unlock(&lock);
    take_pieces(run);
    pthread_mutex_lock(&lock);
    if (--helpers_busy == 0) pthread_cond_signal(&helpers_done);
  }
  return nullptr;
}

// A forked child has only the thread that forked: it starts afresh. The lock
// is held across fork() so that the child's copy is in a known state.
void before_fork() { pthread_mutex_lock(&lock); }
void after_fork_in_parent() { pthread_mutex_unlock(&lock); }
void after_fork_in_child() {
  workers = 0;
  workers_tried = false;
  pthread_cond_init(&run_posted, nullptr);
  pthread_cond_init(&helpers_done, nullptr);
  pthread_mutex_unlock(&lock);
}
void set_fork_handlers() { pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child); }

// Under `lock`. Workers inherit the mask of the thread that makes them: all
// signals are blocked for the making, then restored.
void make_workers() {
  workers_tried = true;
  generation_when_made = generation;
  pthread_once(&fork_handlers_set, set_fork_handlers);
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  pthread_attr_t detached;
  pthread_attr_init(&detached);
  pthread_attr_setdetachstate(&detached, PTHREAD_CREATE_DETACHED);
  for (int number = 1; number < online_cores(); ++number) {
    pthread_t thread;
    if (pthread_create(&thread, &detached, work, reinterpret_cast<void *>(static_cast<intptr_t>(number))) != 0) break;
    workers = number;
  }
  pthread_attr_destroy(&detached);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace

int use_threads(int count) {
  pthread_mutex_lock(&lock);
  wanted = count;
  if (!workers_tried && wanted != 1) make_workers();
  const int in_use = threads_in_use();
  pthread_mutex_unlock(&lock);
  return in_use;
}

void run_pieces(int pieces, PieceTask task, void *context) {
  pthread_mutex_lock(&lock);
  if (!workers_tried && wanted != 1) make_workers();
  const int threads = threads_in_use() < pieces ? threads_in_use() : pieces;
  if (threads <= 1) {
    pthread_mutex_unlock(&lock);
    for (int piece = 0; piece < pieces; ++piece) task(context, piece);
    return;
  }
  const Run run{task, context, pieces, threads - 1};
  posted = run;
  helpers_busy = run.helpers;
  next_piece.store(0, std::memory_order_relaxed);
  ++generation;
  pthread_cond_broadcast(&run_posted);
  pthread_mutex_unlock(&lock);
  take_pieces(run);
  pthread_mutex_lock(&lock);
  while (helpers_busy > 0) pthread_cond_wait(&helpers_done, &lock);
  pthread_mutex_unlock(&lock);
}

}  // namespace ozmira
