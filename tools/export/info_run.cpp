#include "info_run.h"

#include "exit_status.h"
#include "frame_damage.h"
#include "info_output.h"

namespace ozmira::frame_export {

int run_info(const Options &options, DvSource &source, ChosenFrames &chosen) {
  std::string error;
  FileInfo file;
  file.path = options.dv_path;
  file.attributes = source.attributes();
  file.trailing_bytes = source.trailing_bytes();
  if (!source.read_frame(0, error)) return report_failure("frame 0: " + error);
  file.first = read_frame_metadata(source.block());
  const int last = file.attributes.num_frames - 1;
  if (!source.read_frame(last, error)) return report_failure("frame " + std::to_string(last) + ": " + error);
  file.last_timecode = read_timecode(source.block());
  print_file_info(stdout, file, options.json);
  if (!options.frame_info)
    return std::fflush(stdout) == 0 ? kExitOk : report_failure("cannot write the information");

  int status = kExitOk;
  SegmentDamageCounter damage;
  DamageTotals totals;
  for (int frame; chosen.next(frame);) {
    if (!source.read_frame(frame, error))
      return report_failure("frame " + std::to_string(frame) + ": " + error);
    dvfile attributes{};
    const bool parsed = dvstatus(source.block(), &attributes) != -1;
    FrameMetadata metadata;
    if (parsed) {
      metadata = read_frame_metadata(source.block());
      metadata.damaged_segments = damage.count(source.block());
      totals.add(metadata);
    } else {
      status = kExitFailure;
    }
    print_frame_info(stdout, frame, parsed ? &attributes : nullptr, metadata, options.json);
  }
  print_damage_totals(stdout, totals, options.json);
  return std::fflush(stdout) == 0 ? status : report_failure("cannot write the information");
}

}  // namespace ozmira::frame_export
