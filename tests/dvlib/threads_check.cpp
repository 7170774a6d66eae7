// dvthreads, and what dvlib's decoding threads leave alone: the process's
// signals, which they never take, and a child made by fork(), which decodes
// with threads of its own. Each test runs in a process of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dvlib_helpers.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

constexpr int kRequestFull = 2;

// Decodes the first mandelbrot frame with dvreadblock; true when it is libdv's picture.
bool decodes_as_libdv() {
  static const auto frame = clip_frames("mandelbrot.dv")[0];
  std::vector<uint8_t> image = marked_image();
  LibdvDecoder libdv;
  return dvreadblock(frame.data(), image.data(), kRequestFull, 0) == 1 && image == libdv.rgb(frame.data());
}

TEST(Threads, CountsAreCappedByTheCoresAndNegativeOnesRefused) {
  const int cores = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  const Captured refused = capture_output([] { EXPECT_EQ(dvthreads(-2), -1); });
  EXPECT_EQ(refused.err, "(dvthreads:dvlib): -2 threads refused - ask for 1 or more, or 0 for one per core\n");
  EXPECT_EQ(dvthreads(1), 1);
  EXPECT_EQ(dvthreads(cores + 3), cores);
  EXPECT_EQ(dvthreads(0), cores);
}

TEST(Threads, TheProcessSignalsAreNeverTakenByThem) {
  dvinit();
  ASSERT_TRUE(decodes_as_libdv());  // the threads are made
  static volatile sig_atomic_t handled = 0;
  struct sigaction action {};
  action.sa_handler = [](int) { handled = 1; };
  ASSERT_EQ(sigaction(SIGUSR1, &action, nullptr), 0);
  // Blocked here too, a signal sent to the process can only wait, unless a
  // decoding thread takes it.
  sigset_t usr1, before, pending;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &usr1, &before);
  kill(getpid(), SIGUSR1);
  EXPECT_TRUE(decodes_as_libdv());
  sigpending(&pending);
  EXPECT_TRUE(sigismember(&pending, SIGUSR1) && !handled);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  EXPECT_TRUE(handled);
}

TEST(Threads, AForkedChildDecodesWithThreadsOfItsOwn) {
  dvinit();
  ASSERT_TRUE(decodes_as_libdv());
  const pid_t child = fork();
  if (child == 0) {
    alarm(30);  // a child waiting on its parent's threads would hang
    _exit(decodes_as_libdv() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace ozmira::test
