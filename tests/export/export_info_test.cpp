// ozmira-export --info and --frame-info against dvopen's record and each
// frame's dvstatus, in JSON lines and as text; the recording details of clips
// made with known ones; damage counted; file names that are not UTF-8.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "dvlib_helpers.h"
#include "tool_run.h"

namespace ozmira::test {
namespace {

// The integer value of "key" in a JSON line; nullopt when absent or when the
// value is not an integer that ends at a comma or the closing brace.
std::optional<long long> json_int(const std::string &line, const std::string &key) {
  const std::string label = "\"" + key + "\":";
  const size_t at = line.find(label);
  if (at == std::string::npos) return std::nullopt;
  const char *value = line.c_str() + at + label.size();
  if (*value != '-' && (*value < '0' || *value > '9')) return std::nullopt;  // strtoll would skip spaces and '+'
  char *end = nullptr;
  const long long number = std::strtoll(value, &end, 10);
  if (end == value || (*end != ',' && *end != '}')) return std::nullopt;
  return number;
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ExportInfo, FileAttributesAreThoseDvopenRecords) {
  for (const std::string clip : {"pal420.dv", "pal411.dv", "grey.dv", "colour_unstated.dv", "truncated.dv"}) {
    SCOPED_TRACE(clip);
    dvfile *opened = open_quietly(clip_path(clip));
    ASSERT_NE(opened, nullptr);
    const dvfile record = *opened;
    dvclose(opened);
    const ToolRun run = run_tool({"--info", "--json", clip_path(clip)});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const auto lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\"file\":\"" + clip_path(clip) + "\""), std::string::npos);
    const std::pair<std::string, int> fields[] = {{"block_size", record.block_size}, {"x_size", record.x_size},
                                                  {"y_size", record.y_size},         {"code", record.code},
                                                  {"type", record.type},             {"num_frames", record.num_frames}};
    for (const auto &[key, value] : fields) EXPECT_EQ(json_int(lines[0], key), value) << key;
    EXPECT_EQ(json_int(lines[0], "trailing_bytes"), std::filesystem::file_size(clip_path(clip)) % kPalFrameBytes);

    const ToolRun text = run_tool({"--info", clip_path(clip)});
    EXPECT_NE(text.out.find("\nframes:          " + std::to_string(record.num_frames) + "\n"), std::string::npos);
    EXPECT_NE(text.out.find("(code " + std::to_string(record.code) + ")"), std::string::npos);
    EXPECT_NE(text.out.find("(type " + std::to_string(record.type) + ")"), std::string::npos);
  }
}

TEST(ExportInfo, EachChosenFrameIsDescribedByItsOwnHeader) {
  // Frames of different kinds in one file; the third does not parse.
  const std::vector<std::string> sources = {"pal420.dv", "pal411.dv", "bad_header.dv", "grey.dv", "colour_unstated.dv"};
  TempDir scratch;
  const std::string mixed = scratch.file("mixed.dv");
  std::vector<std::vector<uint8_t>> blocks;
  for (const std::string &source : sources) {
    blocks.push_back(clip_frames(source)[0]);
    write_file(mixed, clip_prefix(source, 1), true);
  }
  dvinit();
  const ToolRun run = run_tool({"--frame-info", "--json", "-f", "4,0-2", mixed});
  EXPECT_EQ(run.status, 1);  // a frame that does not parse
  const auto lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 6u);  // the file, four frames, the totals
  EXPECT_EQ(lines[5], "{\"totals\":{\"frames\":3,\"damaged_frames\":0,\"flagged_blocks\":0,\"damaged_segments\":0}}");
  const int order[] = {4, 0, 1, 2};
  for (int i = 0; i < 4; ++i) {
    const int frame = order[i];
    const std::string &line = lines[i + 1];
    EXPECT_EQ(json_int(line, "frame"), frame);
    dvfile status{};
    if (dvstatus(blocks[frame].data(), &status) == -1) {
      EXPECT_NE(line.find("\"error\":"), std::string::npos) << line;
      continue;
    }
    EXPECT_EQ(json_int(line, "code"), status.code) << line;
    EXPECT_EQ(json_int(line, "type"), status.type) << line;
    EXPECT_EQ(json_int(line, "y_size"), status.y_size) << line;
  }
  const ToolRun text = run_tool({"--frame-info", "-f", "1,3", mixed});
  EXPECT_NE(text.out.find("\nframe 1: 720 x 576, 4:1:1 (code 1), "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\nframe 3: 720 x 576, 4:2:0 (code 2), greyscale (type 0), 4:3, "), std::string::npos);
}

// Clips made with known details (clips/make_clips.sh): what --info reports of
// them, and each frame's timecode.
TEST(ExportInfo, RecordingDetailsAreThoseTheClipsWereMadeWith) {
  struct Clip {
    const char *clip;
    std::string aspect, date, time;
    int rate, hours, minutes, seconds, frames;
  };
  const Clip clips[] = {{"meta169.dv", "16:9", "2031-03-04", "05:06:07", 48000, 10, 20, 30, 12},
                        {"meta43.dv", "4:3", "1999-12-31", "23:59:58", 32000, 23, 59, 58, 20}};
  for (const auto &c : clips) {
    const auto timecode = [&](int n) -> std::string {  // frame n's, at 25 frames a second
      const int f = c.frames + n, s = c.seconds + f / 25, m = c.minutes + s / 60;
      char text[16];
      return std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", c.hours + m / 60, m % 60, s % 60, f % 25), text;
    };
    const std::string details = "\"aspect\":\"" + c.aspect + "\",\"timecode\":\"" + timecode(0) +
                                "\",\"recorded_date\":\"" + c.date + "\",\"recorded_time\":\"" + c.time +
                                "\",\"audio\":{\"rate\":" + std::to_string(c.rate) +
                                ",\"channels\":2,\"quantisation\":16}";
    const auto lines = lines_of(run_tool({"--frame-info", "-j", clip_path(c.clip)}).out);
    ASSERT_EQ(lines.size(), 27u) << c.clip;
    EXPECT_NE(lines[0].find(details + ",\"last_timecode\":\"" + timecode(24) + "\"}"), std::string::npos) << lines[0];
    for (int n = 0; n < 25; ++n)
      EXPECT_NE(lines[n + 1].find("\"aspect\":\"" + c.aspect + "\",\"timecode\":\"" + timecode(n) + "\""),
                std::string::npos) << lines[n + 1];
  }
}

// Video blocks whose STA field flags an error are counted exactly (an audio
// block is not one); a damaged segment is counted once drawn from DC alone.
TEST(ExportInfo, DamageIsCountedPerFrameAndInTotal) {
  TempDir scratch;
  std::vector<uint8_t> frame = clip_frames("pal420.dv")[0];
  frame.resize(kPalFrameBytes);
  for (size_t block : {7, 8, 150 + 49, 11 * 150 + 149, 6}) frame[block * 80 + 3] |= 0x10;
  write_file(scratch.file("d.dv"), frame);
  write_file(scratch.file("d.dv"), clip_prefix("damaged_random.dv", 1), true);
  const auto lines = lines_of(run_tool({"--frame-info", "-j", "-f", "1,0", scratch.file("d.dv")}).out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(json_int(lines[2], "flagged_blocks"), 4);
  EXPECT_EQ(json_int(lines[2], "damaged_segments"), 0);
  const auto segments = json_int(lines[1], "damaged_segments");
  EXPECT_TRUE(segments > 0 && json_int(lines[3], "damaged_segments") == segments) << lines[3];
}

// JSON stays valid whatever bytes a file name holds: a byte that is not UTF-8
// is written as U+FFFD, and the name's bytes are given in hexadecimal.
TEST(ExportInfo, NamesThatAreNotUtf8) {
  TempDir scratch;
  const std::string path = scratch.file("caf\xe9\xff\xc3\xa9.dv");  // two stray bytes, then a well-formed é
  write_file(path, clip_prefix("pal420.dv", 1));
  std::string hex;
  for (unsigned char c : path) hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
  const ToolRun run = run_tool({"--info", "--json", path});
  EXPECT_EQ(run.out.rfind("{\"file\":\"" + scratch.path() + "/caf\\ufffd\\ufffd\xc3\xa9.dv\",\"file_bytes\":\"" + hex +
                          "\",\"block_size\":", 0), 0u) << run.out;
}

}  // namespace
}  // namespace ozmira::test
