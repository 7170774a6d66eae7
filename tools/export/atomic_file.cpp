#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace ozmira::frame_export {
namespace {

constexpr mode_t kNewFileMode = 0666;    // before the umask, as fopen would create it
constexpr mode_t kNewFolderMode = 0777;  // before the umask, as mkdir(1) would create it
// Signals sent from outside that end the process unless caught; the real-time
// ones (SIGRTMIN to SIGRTMAX) end it too. The encoding workers block them all.
constexpr int kEnders[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGPIPE, SIGALRM,  SIGUSR1,
                           SIGUSR2, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};
// Faults end the process on the thread that made them, so they cannot be
// blocked; caught, they too remove the temporary files first.
constexpr int kFaults[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};
constexpr char kTemporaryStem[] = "/.ozmira-export-";
constexpr int kNameAttempts = 100;  // for a free temporary name
constexpr size_t kPathRoom = 4096;
constexpr int kSlots = 4;  // named temporary files open at once: an image and the audio, with room

mode_t file_mode = kNewFileMode;

// Named temporary files, for the interrupt handler: fixed buffers, because
// the handler may only do async-signal-safe work.
struct PendingSlot {
  char path[kPathRoom];
  volatile std::sig_atomic_t used;
};
PendingSlot pending[kSlots];

extern "C" void remove_pending_and_die(int signal_number) {
  for (PendingSlot &slot : pending) {
    if (slot.used) unlink(slot.path);
  }
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

std::string errno_text() { return std::strerror(errno); }

sigset_t ender_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kEnders) sigaddset(&set, signal_number);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
    sigaddset(&set, signal_number);
  return set;
}

void catch_signal(int signal_number) {
  if (std::signal(signal_number, remove_pending_and_die) == SIG_IGN) std::signal(signal_number, SIG_IGN);
}

// Holds the signals back while a file and its slot disagree. Only the main
// thread writes files; the encoding workers block the signals for good.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    const sigset_t held = ender_set();
    pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  InterruptsHeld(const InterruptsHeld &) = delete;
  InterruptsHeld &operator=(const InterruptsHeld &) = delete;

 private:
  sigset_t before_;
};

// Fills a free slot with folder + the temporary stem + XXXXXX; -1 when none
// is free or the path is too long. Call with the interrupts held.
int reserve_slot(const std::string &folder) {
  const std::string pattern = folder + kTemporaryStem + "XXXXXX";
  if (pattern.size() >= kPathRoom) {
    errno = ENAMETOOLONG;
    return -1;
  }
  for (int i = 0; i < kSlots; ++i) {
    if (pending[i].used) continue;
    std::memcpy(pending[i].path, pattern.c_str(), pattern.size() + 1);
    return i;
  }
  errno = EMFILE;
  return -1;
}

// Replaces the slot's trailing XXXXXX with a new guess.
void next_name_guess(int slot, unsigned attempt) {
  char *x = pending[slot].path + std::strlen(pending[slot].path) - 6;
  const unsigned long seed = static_cast<unsigned long>(getpid()) * 2654435761u ^
                             static_cast<unsigned long>(std::time(nullptr)) ^ (attempt * 40503u) ^ slot;
  char digits[8];
  std::snprintf(digits, sizeof digits, "%06lx", seed & 0xffffff);
  std::memcpy(x, digits, 6);
}

}  // namespace

void block_interrupts_in_this_thread() {
  const sigset_t held = ender_set();
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

void prepare_atomic_writes() {
  const mode_t mask = umask(0);
  umask(mask);
  file_mode = kNewFileMode & ~mask;
  for (int signal_number : kEnders) catch_signal(signal_number);
  for (int signal_number : kFaults) catch_signal(signal_number);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) catch_signal(signal_number);
  // Past a file-size limit a write fails with EFBIG, which is reported,
  // instead of the process ending without a word.
  std::signal(SIGXFSZ, SIG_IGN);
}

bool check_writable_folder(const std::string &folder, bool create, std::string &error) {
  struct stat info {};
  if (create && mkdir(folder.c_str(), kNewFolderMode) != 0 && errno != EEXIST) {
    error = "output folder '" + folder + "': " + errno_text();
    return false;
  }
  if (stat(folder.c_str(), &info) != 0) {
    error = "output folder '" + folder + "': " + errno_text();
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    error = "output folder '" + folder + "' is not a folder";
    return false;
  }
  AtomicFile probe;
  if (!probe.open(folder, "", error)) {
    error = "cannot write in output folder '" + folder + "': " + errno_text();
    return false;
  }
  return true;
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::open(const std::string &folder, const std::string &name, std::string &error) {
  discard();
  folder_ = folder;
  final_path_ = folder + "/" + name;
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, file_mode);
  if (fd_ != -1) return true;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    const int reason = errno;
    error = "cannot create a file in '" + folder + "': " + std::strerror(reason);
    errno = reason;
    return false;
  }
  // No unnamed files here: a hidden named one that an interrupt removes.
  const InterruptsHeld held;
  slot_ = reserve_slot(folder);
  if (slot_ != -1) {
    fd_ = mkostemp(pending[slot_].path, O_CLOEXEC);
    if (fd_ != -1 && fchmod(fd_, file_mode) == 0) {
      pending[slot_].used = 1;
      return true;
    }
  }
  const int reason = errno;
  if (fd_ != -1) {
    unlink(pending[slot_].path);
    close(fd_);
    fd_ = -1;
  }
  slot_ = -1;
  error = "cannot create a file in '" + folder + "': " + std::strerror(reason);
  errno = reason;
  return false;
}

bool AtomicFile::write(const void *data, size_t size, std::string &error) {
  const auto *bytes = static_cast<const uint8_t *>(data);
  while (size > 0) {
    const ssize_t done = ::write(fd_, bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      error = "cannot write '" + final_path_ + "': " + errno_text();
      return false;
    }
    bytes += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

bool AtomicFile::write_at(int64_t offset, const void *data, size_t size, std::string &error) {
  const auto *bytes = static_cast<const uint8_t *>(data);
  while (size > 0) {
    const ssize_t done = pwrite(fd_, bytes, size, offset);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      error = "cannot write '" + final_path_ + "': " + errno_text();
      return false;
    }
    bytes += done;
    offset += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

bool AtomicFile::link_into_place(std::string &error) {
  if (slot_ != -1) {  // a named temporary file
    if (std::rename(pending[slot_].path, final_path_.c_str()) == 0) return true;
    error =
        "cannot rename '" + std::string(pending[slot_].path) + "' to '" + final_path_ + "': " + errno_text();
    return false;
  }
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
  if (linkat(AT_FDCWD, self, AT_FDCWD, final_path_.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno != EEXIST) {
    error = "cannot put '" + final_path_ + "' in place: " + errno_text();
    return false;
  }
  // An old file stands there: link under a free hidden name, then rename over
  // it, so the old file is replaced in one step.
  const InterruptsHeld held;
  slot_ = reserve_slot(folder_);
  for (int attempt = 0; slot_ != -1 && attempt < kNameAttempts; ++attempt) {
    next_name_guess(slot_, static_cast<unsigned>(attempt));
    if (linkat(AT_FDCWD, self, AT_FDCWD, pending[slot_].path, AT_SYMLINK_FOLLOW) == 0) {
      pending[slot_].used = 1;
      return link_into_place(error);
    }
    if (errno != EEXIST) break;
  }
  error = "cannot put '" + final_path_ + "' in place: " + errno_text();
  slot_ = -1;
  return false;
}

bool AtomicFile::commit(std::string &error) {
  if (fd_ == -1) {
    error = "cannot write '" + final_path_ + "': the file was not opened";
    return false;
  }
  bool done = link_into_place(error);
  if (close(fd_) != 0 && done) {  // a late write error (NFS) shows here
    error = "cannot write '" + final_path_ + "': " + errno_text();
    std::remove(final_path_.c_str());
    done = false;
  }
  fd_ = -1;
  if (slot_ != -1) {
    const InterruptsHeld held;
    if (!done) unlink(pending[slot_].path);
    pending[slot_].used = 0;
    slot_ = -1;
  }
  return done;
}

void AtomicFile::discard() {
  if (fd_ != -1) close(fd_);
  fd_ = -1;
  if (slot_ != -1) {
    const InterruptsHeld held;
    if (pending[slot_].used) unlink(pending[slot_].path);
    pending[slot_].used = 0;
    slot_ = -1;
  }
}

bool write_file_atomically(const std::string &folder, const std::string &name, const void *data, size_t size,
                           std::string &error) {
  AtomicFile file;
  return file.open(folder, name, error) && file.write(data, size, error) && file.commit(error);
}

}  // namespace ozmira::frame_export
