// The command line of ozmira-export.
#pragma once

#include <string>

#include "frame_selection.h"
#include "pictures.h"

namespace ozmira::frame_export {

// What the export puts in place of a frame that does not decode.
enum class BadFrames { skip, previous, black };

struct Options {
  std::string dv_path;
  FrameSelection frames;
  PictureKind picture = PictureKind::full;
  std::string output_folder = ".";
  std::string name_prefix = "frame";
  std::string audio_path;    // --audio: where the WAV goes; empty for none
  bool info = false;         // print the file's attributes instead of writing images
  bool frame_info = false;   // and each chosen frame's header, details and damage
  bool recordings = false;   // the recordings the file holds instead
  std::string split_folder;  // --split: each recording as a DV file of its own there
  BadFrames bad_frames = BadFrames::skip;
  bool json = false;
  bool quiet = false;    // no progress bar
  bool verbose = false;  // show dvlib's own lines while the file opens
  int threads = 0;       // --threads: 0 for one a processor
};

enum class CommandLineAction { run, help, version, refuse };

struct CommandLine {
  CommandLineAction action = CommandLineAction::run;
  Options options;
  std::string error;  // why the command line was refused
};

CommandLine parse_command_line(int argc, char **argv);

// The --help text.
const char *usage_text();

}  // namespace ozmira::frame_export
