#include "info_run.h"

#include <algorithm>
#include <vector>

#include "atomic_file.h"
#include "exit_status.h"
#include "frame_reader.h"
#include "info_output.h"

namespace ozmira::frame_export {
namespace {

constexpr char kNewRecording[] = "new recording";
constexpr size_t kFrameBytes = 144000;

// recording-NNN-YYYY-MM-DD-HH_MM_SS.dv, "undated" when the date or time is not recorded.
std::string split_name(int index, const dvframeinfo &i) {
  const auto date = date_text(i);
  const auto time = time_text(i);
  char name[96];
  std::snprintf(name, sizeof name, "recording-%03d-%s%s%s.dv", index, date ? date->c_str() : "undated",
                date && time ? "-" : "", date && time ? time->c_str() : "");
  std::string text = name;
  for (char &c : text) {
    if (c == ':') c = '_';
  }
  return text;
}

int finish(int status) {
  return std::fflush(stdout) == 0 ? status : report_failure("cannot write the information");
}

}  // namespace

bool resolve_by_tape(FrameSelection &selection, DvSource &source, bool numbering, std::string &error) {
  bool wanted = false;
  for (const FrameRange &range : selection.ranges) wanted = wanted || range.by_tape();
  numbering = numbering && !selection.whole_file();
  if (!wanted && !numbering) return true;
  const int frames = source.attributes().num_frames;
  std::vector<int64_t> timecodes(static_cast<size_t>(frames), -1);
  std::vector<int> recordings(static_cast<size_t>(frames), 0);
  FrameFacts before;
  int recording = 0;
  FrameReader reader(source, ChosenFrames(FrameSelection{}, frames));
  int frame = 0;
  const uint8_t *block = nullptr;
  error.clear();
  while (reader.next(frame, block, error)) {
    const FrameFacts facts = read_facts(block);
    if (facts.parsed && facts.info.dropout != 1) {
      const char *broken = before.parsed ? continuity_break(before, facts, 1) : nullptr;
      if (recording == 0 || (broken != nullptr && std::string(broken) == kNewRecording)) ++recording;
      timecodes[static_cast<size_t>(frame)] = timecode_frames(facts.info);
      before = facts;
    }
    recordings[static_cast<size_t>(frame)] = recording == 0 ? 1 : recording;
  }
  if (!error.empty()) {
    error = "frame " + std::to_string(frame) + ": " + error;
    return false;
  }
  if (wanted) resolve_tape_ranges(selection, frames, timecodes, recordings);
  if (numbering) selection.recording_of = std::move(recordings);
  return true;
}

int run_info(const Options &options, DvSource &source, ChosenFrames &chosen,
             const std::vector<int> &recording_of) {
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

  const bool splitting = !options.split_folder.empty();
  AtomicFile part;
  if (splitting && !check_writable_folder(options.split_folder, true, error)) return report_failure(error);
  // Only the codes are parsed, to count damaged segments: no picture is drawn.
  dvthreads(options.threads);
  int status = kExitOk;
  DamageTotals totals;
  Recording recording;
  std::vector<uint8_t> scratch;
  std::vector<bool> split_written;  // by recording number: its file is written
  FrameFacts before;                // the last frame whose header parses, and its number
  int before_frame = 0;
  FrameReader reader(source, chosen);
  int frame = 0;
  const uint8_t *block = nullptr;
  error.clear();
  while (reader.next(frame, block, error)) {
    FrameReport report;
    report.frame = frame;
    report.facts = read_facts(block);
    report.cause = undecodable_cause(report.facts);
    if (report.cause != nullptr) status = kExitSomeFramesNotDecoded;
    if (report.cause == nullptr && options.frame_info) {
      report.damaged_segments = count_damaged_segments(block, report.facts.info.code, scratch);
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
    // A recording keeps its number in the file whichever of its frames are chosen.
    const int index =
        !recording_of.empty() ? recording_of[static_cast<size_t>(frame)]
        : recording.index == 0 || (report.broken != nullptr && std::string(report.broken) == kNewRecording)
            ? recording.index + 1
            : recording.index;
    const bool starts = index != recording.index;
    if (starts && recording.index > 0 && !splitting) print_recording(stdout, recording, options.json);
    if (starts && splitting) {
      // A recording's file is written once: a second would replace the first.
      if (static_cast<size_t>(index) < split_written.size() && split_written[static_cast<size_t>(index)]) {
        return report_failure("recording " + std::to_string(index) +
                              " comes again after another's frames: --split writes each recording once, from "
                              "frames chosen in file order");
      }
      split_written.resize(std::max(split_written.size(), static_cast<size_t>(index) + 1));
      split_written[static_cast<size_t>(index)] = true;
      const std::string name = split_name(index, report.facts.info);
      if (source.is_this_file(options.split_folder + "/" + name)) {
        return report_failure("'" + options.split_folder + "/" + name + "' is the DV file being read");
      }
      if ((recording.index > 0 && !part.commit(error)) || !part.open(options.split_folder, name, error)) {
        return report_failure(error);
      }
    }
    if (splitting && !part.write(block, kFrameBytes, error)) return report_failure(error);
    if (starts) {
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
  if (!error.empty()) return report_failure("frame " + std::to_string(frame) + ": " + error);
  if (options.frame_info) print_damage_totals(stdout, totals, options.json);
  if (splitting && recording.index > 0 && !part.commit(error)) return report_failure(error);
  if (options.recordings && recording.index > 0 && !splitting)
    print_recording(stdout, recording, options.json);
  return finish(status);
}

}  // namespace ozmira::frame_export
