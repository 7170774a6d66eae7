// ozmira-export: writes frames of a raw PAL DV file as PNG images and their
// sound as a WAV file, or prints what the file records. The decoding is
// dvlib's and the frame decoder's; this program chooses frames, names files
// and reports.
#include <cstdio>
#include <string>

#include "atomic_file.h"
#include "dv_source.h"
#include "exit_status.h"
#include "export_run.h"
#include "info_run.h"
#include "options.h"

using namespace ozmira::frame_export;

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
  if (source == nullptr) return report_failure(error);
  if (source->trailing_bytes() != 0 && !options.info) {
    std::fprintf(stderr,
                 "ozmira-export: warning: '%s' ends in %lld bytes of a partial frame, which are ignored\n",
                 options.dv_path.c_str(), static_cast<long long>(source->trailing_bytes()));
  }
  FrameSelection selection = options.frames;
  if (!resolve_by_tape(selection, *source, options.recordings || !options.split_folder.empty(), error))
    return report_failure(error);
  ChosenFrames chosen(selection, source->attributes().num_frames);
  if (const std::string bad = chosen.out_of_range(); !bad.empty()) return report_failure(bad);
  return options.info ? run_info(options, *source, chosen, selection.recording_of)
                      : run_export(options, *source, chosen);
}
