#include "tool_run.h"

#include <fcntl.h>
#include <png.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "clips.h"

namespace ozmira::test {
namespace {

std::string slurp(const std::string &path) {
  const std::vector<uint8_t> bytes = read_file(path);
  return {bytes.begin(), bytes.end()};
}

std::vector<char *> argv_of(std::vector<std::string> &args) {
  std::vector<char *> argv;
  for (std::string &arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

// In the child: stdout to `out_fd`, stderr to `err_fd`, then exec the tool.
[[noreturn]] void exec_tool(std::vector<std::string> args, int out_fd, int err_fd, off_t size_limit) {
  dup2(out_fd, STDOUT_FILENO);
  dup2(err_fd, STDERR_FILENO);
  if (size_limit != 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // so a write past the limit fails instead of killing
    const rlimit limit{static_cast<rlim_t>(size_limit), static_cast<rlim_t>(size_limit)};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  args.insert(args.begin(), OZMIRA_EXPORT_TOOL);
  execv(OZMIRA_EXPORT_TOOL, argv_of(args).data());
  _exit(127);
}

ToolRun finish(pid_t pid) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  ToolRun run;
  if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) run.signal = WTERMSIG(raw);
  return run;
}

}  // namespace

ToolRun run_tool(const std::vector<std::string> &args, const ToolSetup &setup) {
  TempDir scratch;
  const int out_fd = open(scratch.file("out").c_str(), O_WRONLY | O_CREAT, 0600);
  int err_fd = -1, terminal = -1;
  if (setup.stderr_on_terminal) {
    if (openpty(&terminal, &err_fd, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  } else {
    err_fd = open(scratch.file("err").c_str(), O_WRONLY | O_CREAT, 0600);
  }
  const pid_t pid = fork();
  if (pid == 0) exec_tool(args, out_fd, err_fd, setup.file_size_limit);
  close(out_fd);
  close(err_fd);
  std::string terminal_text;
  if (terminal != -1) {  // read until the child's side closes, so it never blocks on a full terminal
    char chunk[1024];
    ssize_t n;
    while ((n = read(terminal, chunk, sizeof chunk)) > 0) terminal_text.append(chunk, static_cast<size_t>(n));
    close(terminal);
  }
  ToolRun run = finish(pid);
  run.out = slurp(scratch.file("out"));
  run.err = terminal != -1 ? terminal_text : slurp(scratch.file("err"));
  return run;
}

pid_t start_tool(const std::vector<std::string> &args) {
  const int null_fd = open("/dev/null", O_WRONLY);
  const pid_t pid = fork();
  if (pid == 0) exec_tool(args, null_fd, null_fd, 0);
  close(null_fd);
  return pid;
}

ToolRun wait_tool(pid_t pid) { return finish(pid); }

std::optional<PngPicture> read_png(const std::string &path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
  if (image.format != PNG_FORMAT_RGB && image.format != PNG_FORMAT_GRAY) {
    png_image_free(&image);
    return std::nullopt;
  }
  PngPicture picture{static_cast<int>(image.width), static_cast<int>(image.height),
                     static_cast<int>(PNG_IMAGE_PIXEL_CHANNELS(image.format)), {}};
  picture.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) return std::nullopt;
  return picture;
}

}  // namespace ozmira::test
