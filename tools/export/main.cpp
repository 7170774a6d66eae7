// ozmira-export: writes frames of a raw PAL DV file as PNG images, or prints
// the file's attributes. The decoding is dvlib's and the frame decoder's; this
// program chooses frames, names files and reports.
#include <cstdio>
#include <string>

#include "atomic_file.h"
#include "dv_source.h"
#include "info_output.h"
#include "options.h"
#include "pictures.h"
#include "png_output.h"
#include "progress_bar.h"

namespace {

using namespace ozmira::frame_export;

constexpr int kExitOk = 0, kExitFailure = 1, kExitUsage = 2;
constexpr int kSampling420 = 2;

int fail(const std::string &message) {
  std::string line = "ozmira-export: " + message;
  if (line.back() != '\n') line += '\n';
  std::fputs(line.c_str(), stderr);
  return kExitFailure;
}

std::string image_name(const std::string &prefix, int frame) {
  char number[16];
  std::snprintf(number, sizeof number, "%06d", frame);
  return prefix + "-" + number + ".png";
}

int print_info(const Options &options, DvSource &source, ChosenFrames &chosen) {
  print_file_info(stdout, options.dv_path, source.attributes(), source.trailing_bytes(), options.json);
  if (!options.frame_info) return kExitOk;
  int status = kExitOk;
  for (int frame; chosen.next(frame);) {
    std::string error;
    if (!source.read_frame(frame, error)) return fail("frame " + std::to_string(frame) + ": " + error);
    dvfile attributes{};
    const bool parsed = dvstatus(source.block(), &attributes) != -1;
    print_frame_info(stdout, frame, parsed ? &attributes : nullptr, options.json);
    if (!parsed) status = kExitFailure;
  }
  return std::fflush(stdout) == 0 ? status : fail("cannot write the information");
}

int export_images(const Options &options, DvSource &source, ChosenFrames &chosen) {
  std::string error;
  if (!check_writable_folder(options.output_folder, error)) return fail(error);
  if (needs_420_sampling(options.picture) && source.attributes().code != kSampling420) {
    return fail("'" + options.dv_path +
                "' holds 4:1:1 frames; the half, thumb and luma pictures need 4:2:0 frames (full and dc work)");
  }
  PictureDecoder decoder(options.picture);
  ProgressBar progress(chosen.count(), progress_bar_wanted(chosen.count(), options.quiet));
  for (int frame; chosen.next(frame);) {
    const auto write = [&](std::FILE *stream, std::string &why) { return write_png(stream, decoder.picture(), why); };
    if (!source.read_frame(frame, error) || !decoder.decode(source.block(), error) ||
        !write_file_atomically(options.output_folder, image_name(options.name_prefix, frame), write, error)) {
      progress.finish();
      return fail("frame " + std::to_string(frame) + ": " + error);
    }
    progress.advance();
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char **argv) {
  const CommandLine line = parse_command_line(argc, argv);
  switch (line.action) {
    case CommandLineAction::help: std::fputs(usage_text(), stdout); return kExitOk;
    case CommandLineAction::version: std::printf("ozmira-export %s\n", OZMIRA_VERSION); return kExitOk;
    case CommandLineAction::refuse:
      std::fprintf(stderr, "ozmira-export: %s\nTry 'ozmira-export --help' for more information.\n",
                   line.error.c_str());
      return kExitUsage;
    case CommandLineAction::run: break;
  }
  const Options &options = line.options;
  prepare_atomic_writes();
  dvinit();

  std::string error;
  const auto source = DvSource::open(options.dv_path, options.verbose, error);
  if (source == nullptr) return fail(error);
  if (source->trailing_bytes() != 0 && !options.info) {
    std::fprintf(stderr, "ozmira-export: warning: '%s' ends in %lld bytes of a partial frame, which are ignored\n",
                 options.dv_path.c_str(), static_cast<long long>(source->trailing_bytes()));
  }
  ChosenFrames chosen(options.frames, source->attributes().num_frames);
  if (const std::string bad = chosen.out_of_range(); !bad.empty()) return fail(bad);
  return options.info ? print_info(options, *source, chosen) : export_images(options, *source, chosen);
}
