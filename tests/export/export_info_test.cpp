// ozmira-export --info and --frame-info against dvopen's record and each
// frame's dvstatus, in JSON lines and as text.
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
  ASSERT_EQ(lines.size(), 5u);
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
  EXPECT_NE(text.out.find("\nframe 3: 720 x 576, 4:2:0 (code 2), greyscale (type 0)\n"), std::string::npos);
}

}  // namespace
}  // namespace ozmira::test
