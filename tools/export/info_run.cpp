#include "info_run.h"

#include <vector>

#include "exit_status.h"
#include "info_output.h"

namespace ozmira::frame_export {
namespace {

constexpr char kNewRecording[] = "new recording";

int finish(int status) {
  return std::fflush(stdout) == 0 ? status : report_failure("cannot write the information");
}

}  // namespace

int run_info(const Options &options, DvSource &source, ChosenFrames &chosen) {
  std::string error;
  if (!options.recordings) {
    FileInfo file;
    file.path = options.dv_path;
    file.attributes = source.attributes();
    file.trailing_bytes = source.trailing_bytes();
    if (!source.read_frame(0, error)) return report_failure("frame 0: " + error);
    file.first = read_facts(source.block());
    const int last = file.attributes.num_frames - 1;
    if (!source.read_frame(last, error))
      return report_failure("frame " + std::to_string(last) + ": " + error);
    file.last_timecode = timecode_text(read_facts(source.block()).info);
    print_file_info(stdout, file, options.json);
    if (!options.frame_info) return finish(kExitOk);
  }

  // Only the codes are parsed, to count damaged segments: no picture is drawn.
  dvthreads(0);
  int status = kExitOk;
  DamageTotals totals;
  Recording recording;
  std::vector<uint8_t> scratch;
  FrameFacts before;  // the last frame whose header parses, and its number
  int before_frame = 0;
  for (int frame; chosen.next(frame);) {
    if (!source.read_frame(frame, error))
      return report_failure("frame " + std::to_string(frame) + ": " + error);
    FrameReport report;
    report.frame = frame;
    report.facts = read_facts(source.block());
    report.cause = undecodable_cause(report.facts);
    if (report.cause != nullptr) status = kExitSomeFramesNotDecoded;
    if (report.cause == nullptr && options.frame_info) {
      report.damaged_segments = count_damaged_segments(source.block(), report.facts.info.code, scratch);
    }
    if (report.facts.parsed && report.facts.info.dropout != 1) {
      if (before.parsed) report.broken = continuity_break(before, report.facts, frame - before_frame);
      before = report.facts;
      before_frame = frame;
    }
    if (options.frame_info) {
      totals.add(report);
      print_frame_info(stdout, report, options.json);
      continue;
    }
    const bool starts =
        recording.index == 0 || (report.broken != nullptr && std::string(report.broken) == kNewRecording);
    if (starts && recording.index > 0) print_recording(stdout, recording, options.json);
    if (starts) {
      const int index = recording.index + 1;
      recording = Recording{};
      recording.index = index;
      recording.first_frame = frame;
    }
    recording.last_frame = frame;
    ++recording.frames;
    if (report.damaged()) ++recording.damaged_frames;
    const dvframeinfo &i = report.facts.info;
    if (report.facts.parsed && i.dropout != 1) {
      if (!recording.timecode_in) recording.timecode_in = timecode_text(i);
      if (const auto timecode = timecode_text(i)) recording.timecode_out = timecode;
      if (!recording.date) recording.date = date_text(i);
      if (!recording.time) recording.time = time_text(i);
    }
  }
  if (options.frame_info) print_damage_totals(stdout, totals, options.json);
  if (options.recordings && recording.index > 0) print_recording(stdout, recording, options.json);
  return finish(status);
}

}  // namespace ozmira::frame_export
