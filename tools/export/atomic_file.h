// Writes a file under a temporary name in its target folder and renames it
// into place only once it is complete, so no half-written file ever stands
// under the final name, and a file already there is replaced only by a whole
// new one. An interrupt (SIGINT, SIGTERM, SIGHUP) removes the temporary file.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace ozmira::frame_export {

// Call once at start-up: notes the umask and installs the interrupt handlers.
void prepare_atomic_writes();

// Fails with a message when no file can be created in `folder` (it is
// missing, not a folder, or not writable), leaving nothing behind.
bool check_writable_folder(const std::string &folder, std::string &error);

// Creates folder/name through `write`, which gets an open stream and returns
// false with a message on failure. On any failure the temporary file is
// removed and an existing folder/name is left as it was.
bool write_file_atomically(const std::string &folder, const std::string &name,
                           const std::function<bool(std::FILE *, std::string &)> &write, std::string &error);

}  // namespace ozmira::frame_export
