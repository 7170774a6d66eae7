#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace ozmira::frame_export {
namespace {

constexpr mode_t kNewFileMode = 0666;  // before the umask, as fopen would create it
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

mode_t file_mode = kNewFileMode;

// The temporary file being written, for the interrupt handler. A fixed buffer
// because the handler may only do async-signal-safe work.
char pending_path[4096];
volatile std::sig_atomic_t pending = 0;

extern "C" void remove_pending_and_die(int signal_number) {
  if (pending) unlink(pending_path);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

std::string errno_text() { return std::strerror(errno); }

// Holds the interrupts back while the file and `pending` disagree: an
// interrupt between mkstemp creating the file and `pending` being set would
// otherwise leave the file behind.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : kInterrupts) sigaddset(&held, signal_number);
    sigprocmask(SIG_BLOCK, &held, &before_);
  }
  ~InterruptsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
  InterruptsHeld(const InterruptsHeld &) = delete;
  InterruptsHeld &operator=(const InterruptsHeld &) = delete;

 private:
  sigset_t before_;
};

// mkstemp on "folder/.name.XXXXXX": hidden, and in the same folder so the
// final rename never crosses file systems.
int create_temporary(const std::string &folder, const std::string &name, std::string &path) {
  std::string pattern = folder + "/." + name + ".XXXXXX";
  if (pattern.size() >= sizeof pending_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const InterruptsHeld held;
  std::memcpy(pending_path, pattern.c_str(), pattern.size() + 1);  // the template; no file exists yet
  const int fd = mkstemp(pending_path);
  if (fd == -1) return -1;
  pending = 1;
  path = pending_path;
  return fd;
}

void forget_temporary(bool remove) {
  const InterruptsHeld held;
  if (remove && pending) unlink(pending_path);
  pending = 0;
}

}  // namespace

void prepare_atomic_writes() {
  const mode_t mask = umask(0);
  umask(mask);
  file_mode = kNewFileMode & ~mask;
  for (int signal_number : kInterrupts) {
    if (std::signal(signal_number, remove_pending_and_die) == SIG_IGN) std::signal(signal_number, SIG_IGN);
  }
}

bool check_writable_folder(const std::string &folder, std::string &error) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) {
    error = "output folder '" + folder + "': " + errno_text();
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    error = "output folder '" + folder + "' is not a folder";
    return false;
  }
  std::string probe;
  const int fd = create_temporary(folder, "ozmira-export-probe", probe);
  if (fd == -1) {
    error = "cannot write in output folder '" + folder + "': " + errno_text();
    return false;
  }
  close(fd);
  forget_temporary(true);
  return true;
}

bool write_file_atomically(const std::string &folder, const std::string &name,
                           const std::function<bool(std::FILE *, std::string &)> &write, std::string &error) {
  const std::string final_path = folder + "/" + name;
  std::string temporary;
  const int fd = create_temporary(folder, name, temporary);
  if (fd == -1) {
    error = "cannot create a file in '" + folder + "': " + errno_text();
    return false;
  }
  std::FILE *stream = fchmod(fd, file_mode) == 0 ? fdopen(fd, "wb") : nullptr;
  if (stream == nullptr) {
    error = "cannot write '" + temporary + "': " + errno_text();
    close(fd);
    forget_temporary(true);
    return false;
  }
  bool written = write(stream, error);
  if (written && std::fflush(stream) != 0) {
    error = "cannot write '" + final_path + "': " + errno_text();
    written = false;
  }
  if (std::fclose(stream) != 0 && written) {
    error = "cannot write '" + final_path + "': " + errno_text();
    written = false;
  }
  if (written && std::rename(temporary.c_str(), final_path.c_str()) != 0) {
    error = "cannot rename '" + temporary + "' to '" + final_path + "': " + errno_text();
    written = false;
  }
  forget_temporary(!written);
  return written;
}

}  // namespace ozmira::frame_export
