// Plain globals and pthreads only: C hosts link the static library without
// the C++ runtime.
//
// The poster of a run takes pieces itself and waits only until every piece
// is done, not until every worker has woken: on a busy machine a worker may
// wake late, and a run should not wait for it. A late worker must then not
// take a piece of a later run for the run it woke for, so each run has a
// number of its own, and a piece is taken by changing the run's number and
// its untaken pieces together, as one 64-bit word.
//
// The poster takes pieces from the front and the workers from the back, so
// that run after run each core mostly does the same pieces: a host that
// decodes into the same picture frame after frame then finds the picture's
// lines in the cache of the core that writes them (where the pieces are
// shared out in the order they come, the lines move between cores every
// frame: at times a frame decoded from DC coefficients alone, which mostly
// writes the picture, took longer on two threads than on one).
#include "worker_pool.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <emmintrin.h>
#include <time.h>

#include <atomic>
#include <cstdint>

namespace ozmira {
namespace {

constexpr int kMaxThreads = 64;
constexpr int kRunShift = 32;            // the run's number in the high half
constexpr int kBackShift = 16;           // then one past the last untaken piece
constexpr uint64_t kPieceMask = 0xffff;  // then the first untaken piece

// Everything below is guarded by `lock` but the two atomics.
pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t run_posted = PTHREAD_COND_INITIALIZER;
pthread_cond_t run_done = PTHREAD_COND_INITIALIZER;
pthread_once_t fork_handlers_set = PTHREAD_ONCE_INIT;

int wanted = 0;              // 0: as many as online cores
int workers = 0;             // threads made besides the calling one
bool workers_tried = false;  // whether making them was tried

// The run posted last; workers numbered up to `helpers` take part.
struct Run {
  PieceTask task;
  void *context;
  int pieces;
  int helpers;
  uint32_t number;
};
Run posted;
uint32_t runs_posted = 0;
uint32_t runs_when_made = 0;       // workers wait for the run after it
std::atomic<uint64_t> untaken{0};  // the run's number, back and front
std::atomic<int> pieces_done{0};
std::atomic<uint32_t> latest_run{0};  // runs_posted, for waiting without the lock

// How long a thread that has run out of work looks for more before it sleeps:
// a host decoding frame after frame posts the next run within a tenth of a
// millisecond, and a sleeping thread can take longer than that to wake (a
// frame decoded from DC coefficients alone gained a third from the spin).
constexpr long kSpinNanoseconds = 100000;

long long now_ns() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

// Spins until done() or kSpinNanoseconds have passed; returns done(). It
// yields now and then, so that a thread that the scheduler put on the same
// core (the one that would make done() true, perhaps) is not kept waiting.
template <typename Done>
bool spin_until(Done done) {
  constexpr int kPausesPerLook = 64;
  const long long until = now_ns() + kSpinNanoseconds;
  for (int i = 1;; ++i) {
    if (done()) return true;
    _mm_pause();
    if (i % kPausesPerLook == 0) {
      if (now_ns() > until) return done();
      sched_yield();
    }
  }
}

int online_cores() {
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  return cores < 1 ? 1 : cores > kMaxThreads ? kMaxThreads : static_cast<int>(cores);
}

// Without a count wanted, every thread made (one per core online when they
// were made): asking the system for its cores opens a file each time, too
// slow for every frame.
int threads_in_use() {
  const int limit = wanted == 0 ? workers + 1 : wanted;
  return limit < workers + 1 ? limit : workers + 1;
}

// A piece of `run` from the front (or the back), or false when it has none
// left or is over.
bool take_piece(const Run &run, bool from_front, int &piece) {
  uint64_t now = untaken.load(std::memory_order_relaxed);
  for (;;) {
    const int front = static_cast<int>(now & kPieceMask);
    const int back = static_cast<int>(now >> kBackShift & kPieceMask);
    if (now >> kRunShift != run.number || front >= back) return false;
    const uint64_t taken = from_front ? now + 1 : now - (uint64_t{1} << kBackShift);
    if (untaken.compare_exchange_weak(now, taken, std::memory_order_relaxed)) {
      piece = from_front ? front : back - 1;
      return true;
    }
  }
}

void take_pieces(const Run &run, bool from_front) {
  for (int piece; take_piece(run, from_front, piece);) {
    run.task(run.context, piece);
    if (pieces_done.fetch_add(1, std::memory_order_acq_rel) + 1 == run.pieces) {
      pthread_mutex_lock(&lock);
      pthread_cond_signal(&run_done);
      pthread_mutex_unlock(&lock);
    }
  }
}

void *work(void *number) {
  const int me = static_cast<int>(reinterpret_cast<intptr_t>(number));
  pthread_mutex_lock(&lock);
  // The run that made the workers may be posted before they get the lock.
  for (uint32_t seen = runs_when_made;;) {
    while (runs_posted == seen) pthread_cond_wait(&run_posted, &lock);
    seen = runs_posted;
    if (me > posted.helpers) continue;
    const Run run = posted;
    pthread_mutex_unlock(&lock);
    take_pieces(run, false);
    spin_until([&] { return latest_run.load(std::memory_order_relaxed) != run.number; });
    pthread_mutex_lock(&lock);
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
  pthread_cond_init(&run_done, nullptr);
  pthread_mutex_unlock(&lock);
}
void set_fork_handlers() { pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child); }

// Under `lock`. Workers inherit the mask of the thread that makes them: all
// signals are blocked for the making, then restored.
void make_workers() {
  workers_tried = true;
  runs_when_made = runs_posted;
  pthread_once(&fork_handlers_set, set_fork_handlers);
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  pthread_attr_t detached;
  pthread_attr_init(&detached);
  pthread_attr_setdetachstate(&detached, PTHREAD_CREATE_DETACHED);
  for (int number = 1; number < online_cores(); ++number) {
    pthread_t thread;
    if (pthread_create(&thread, &detached, work, reinterpret_cast<void *>(static_cast<intptr_t>(number))) !=
        0)
      break;
    workers = number;
  }
  pthread_attr_destroy(&detached);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace

int UseThreads(int count) {
  pthread_mutex_lock(&lock);
  wanted = count;
  if (!workers_tried && wanted != 1) make_workers();
  const int in_use = threads_in_use();
  pthread_mutex_unlock(&lock);
  return in_use;
}

void RunPieces(int pieces, PieceTask task, void *context) {
  pthread_mutex_lock(&lock);
  if (!workers_tried && wanted != 1) make_workers();
  const int threads = threads_in_use() < pieces ? threads_in_use() : pieces;
  if (threads <= 1) {
    pthread_mutex_unlock(&lock);
    for (int piece = 0; piece < pieces; ++piece) task(context, piece);
    return;
  }
  const Run run{task, context, pieces, threads - 1, ++runs_posted};
  posted = run;
  pieces_done.store(0, std::memory_order_relaxed);
  untaken.store(uint64_t{run.number} << kRunShift | uint64_t(pieces) << kBackShift,
                std::memory_order_release);
  latest_run.store(run.number, std::memory_order_relaxed);
  pthread_cond_broadcast(&run_posted);
  pthread_mutex_unlock(&lock);
  take_pieces(run, true);
  if (spin_until([&] { return pieces_done.load(std::memory_order_acquire) == pieces; })) return;
  pthread_mutex_lock(&lock);
  while (pieces_done.load(std::memory_order_acquire) < pieces) pthread_cond_wait(&run_done, &lock);
  pthread_mutex_unlock(&lock);
}

}  // namespace ozmira
