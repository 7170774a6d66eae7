// ozmira-export's answers to bad input, run as a process: each ends with a
// clear message on standard error, a non-zero status (2 for the command line,
// 1 for the rest) and nothing written.
#include <gtest/gtest.h>

#include <fstream>

#include "clips.h"
#include "tool_run.h"

namespace ozmira::test {
namespace {

void expect_refusal(const ToolRun &run, int status, const std::string &says) {
  EXPECT_EQ(run.status, status) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("ozmira-export: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("(dvopen:dvlib)"), std::string::npos) << "library lines leaked: " << run.err;
}

TEST(ExportRefusals, FilesThatAreNotPalDvAreRefusedWithTheirReason) {
  TempDir scratch;
  std::ofstream(scratch.file("short.dv")) << std::string(1000, 'x');
  const std::pair<std::string, std::string> cases[] = {
      {scratch.file("missing.dv"), "No such file or directory"},
      {scratch.path(), "Is a directory"},
      {scratch.file("short.dv"), "holds 1000 bytes, less than one 144000-byte frame"},
      {clip_path("bad_header.dv"), "the header of frame 0 does not parse"},
      {clip_path("ntsc.dv"), "not a PAL DV file: frame 0 is 720 x 480"},
  };
  for (const auto &[path, reason] : cases) {
    TempDir out;
    expect_refusal(run_tool({"-o", out.path(), path}), 1, reason);
    expect_refusal(run_tool({"--info", path}), 1, reason);
    EXPECT_TRUE(out.names().empty());
  }
}

TEST(ExportRefusals, FramesOutsideTheFileStopTheRunBeforeAnyImage) {
  for (const std::string frames : {"0,50", "49-50", "60-", "2147483647"}) {
    TempDir out;
    const std::string says = "frame " + std::string(frames == "2147483647" ? frames : frames == "60-" ? "60" : "50") +
                             " is out of range: the file has 50 frames (0-49)";
    expect_refusal(run_tool({"-f", frames, "-o", out.path(), clip_path("pal420.dv")}), 1, says);
    EXPECT_TRUE(out.names().empty()) << frames;
  }
}

TEST(ExportRefusals, OutputFolderMustExistAndTakeFiles) {
  TempDir scratch;
  const std::string clip = clip_path("pal420.dv");
  std::string missing_says = "'";  // built by appending: GCC 12 warns falsely on a + chain of temporaries at -O3
  missing_says.append(scratch.file("none")).append("': No such file");
  expect_refusal(run_tool({"-o", scratch.file("none"), clip}), 1, missing_says);
  expect_refusal(run_tool({"-o", clip, clip}), 1, "is not a folder");
  // /proc takes no new files, even from root.
  expect_refusal(run_tool({"-o", "/proc", clip}), 1, "cannot write in output folder '/proc'");
  EXPECT_TRUE(scratch.names().empty());
}

TEST(ExportRefusals, BadCommandLinesEndWithStatusTwo) {
  const std::string clip = clip_path("pal420.dv");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no DV file given"},
      {{clip, clip}, "one DV file only"},
      {{"--bogus", clip}, "unknown option '--bogus'"},
      {{"-x", clip}, "unknown option '-x'"},
      {{"--info=yes", clip}, "option '--info=yes' takes no value"},
      {{clip, "-f"}, "option '-f' needs a value"},
      {{"-f", "5-3", clip}, "the range '5-3' runs backwards"},
      {{"-f", "1,,2", clip}, "'' is not a frame number"},
      {{"-f", "-4", clip}, "'-4' is not a frame number"},
      {{"-f", "99999999999", clip}, "'99999999999' is too large for a frame number (the largest is 2147483647)"},
      {{"-i", "-a", "x.wav", clip}, "--audio writes a file; --info and --frame-info write none"},
      {{"-e", "0", clip}, "--every: '0'"},
      {{"-p", "quarter", clip}, "unknown picture 'quarter'"},
      {{"-n", "a/b", clip}, "--name"},
      {{"--json", clip}, "--json goes with --info"},
  };
  for (const auto &[args, says] : cases) {
    const ToolRun run = run_tool(args);
    expect_refusal(run, 2, says);
    EXPECT_NE(run.err.find("Try 'ozmira-export --help'"), std::string::npos);
  }
  const ToolRun help = run_tool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: ozmira-export [OPTION]... FILE\n", 0), 0u);
}

}  // namespace
}  // namespace ozmira::test
