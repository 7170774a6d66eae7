// Files that appear under their final name only when whole. Where the file
// system allows, the file is created without a name (O_TMPFILE) and linked
// into place once complete, so a run killed even by SIGKILL leaves nothing
// behind. Elsewhere it is written under a short hidden name in the target
// folder (".ozmira-export-XXXXXX", whatever the final name, so a legal final
// name never fails for its temporary one) and renamed into place; every
// catchable signal that ends the process removes such files first. SIGXFSZ
// is ignored, so that a file-size limit fails a write with a message instead
// of ending the process without one. A file already under the final name is
// replaced only by a whole new one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ozmira::frame_export {

// Call once at start-up: notes the umask and installs the interrupt handlers.
void prepare_atomic_writes();

// For threads that never write files: the interrupts go to the main thread,
// which knows the temporary files.
void block_interrupts_in_this_thread();

// Fails with a message when no file can be created in `folder` (it is
// missing, not a folder, or not writable), leaving nothing behind. With
// `create`, a missing folder is made first (its parent must exist).
bool check_writable_folder(const std::string &folder, bool create, std::string &error);

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // discards the file unless committed
  AtomicFile(const AtomicFile &) = delete;
  AtomicFile &operator=(const AtomicFile &) = delete;

  // Starts folder/name. False with a message when no file can be created.
  bool open(const std::string &folder, const std::string &name, std::string &error);
  // Appends, or writes at `offset` (to fill in a header once the sizes are
  // known). False with a message on any failure.
  bool write(const void *data, size_t size, std::string &error);
  bool write_at(int64_t offset, const void *data, size_t size, std::string &error);
  // Puts the whole file under its final name. False with a message, the file
  // discarded and any old folder/name untouched, on failure.
  bool commit(std::string &error);
  void discard();

 private:
  bool link_into_place(std::string &error);

  int fd_ = -1;
  int slot_ = -1;  // the interrupt handler's record of a named temporary file
  std::string folder_, final_path_;
};

// One whole file in a single write, as AtomicFile does it.
bool write_file_atomically(const std::string &folder, const std::string &name, const void *data, size_t size,
                           std::string &error);

}  // namespace ozmira::frame_export
