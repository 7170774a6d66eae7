#include "options.h"

#include <getopt.h>

#include <charconv>

namespace ozmira::frame_export {
namespace {

enum LongOnly { kFrameInfo = 256, kVersion, kBadFrames, kRecordings, kSplit, kThreads };

constexpr char kShortOptions[] = ":f:r:e:p:o:n:a:ijqvh";
constexpr option kLongOptions[] = {
    {"frames", required_argument, nullptr, 'f'},
    {"recording", required_argument, nullptr, 'r'},
    {"every", required_argument, nullptr, 'e'},
    {"picture", required_argument, nullptr, 'p'},
    {"output", required_argument, nullptr, 'o'},
    {"name", required_argument, nullptr, 'n'},
    {"audio", required_argument, nullptr, 'a'},
    {"info", no_argument, nullptr, 'i'},
    {"frame-info", no_argument, nullptr, kFrameInfo},
    {"json", no_argument, nullptr, 'j'},
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"bad-frames", required_argument, nullptr, kBadFrames},
    {"recordings", no_argument, nullptr, kRecordings},
    {"split", required_argument, nullptr, kSplit},
    {"threads", required_argument, nullptr, kThreads},
    {nullptr, 0, nullptr, 0},
};

bool parse_count(const char *text, int &value, int least = 1) {
  const char *end = text + std::char_traits<char>::length(text);
  auto [stop, status] = std::from_chars(text, end, value);
  return status == std::errc() && stop == end && value >= least;
}

CommandLine refuse(CommandLine line, std::string why) {
  line.action = CommandLineAction::refuse;
  line.error = std::move(why);
  return line;
}

}  // namespace

const char *usage_text() {
  return "Usage: ozmira-export [OPTION]... FILE\n"
         "Writes frames of a raw PAL DV file as PNG images and their sound as a WAV file,\n"
         "or prints what the file records.\n"
         "\n"
         "Frames (frame 0 is the first):\n"
         "  -f, --frames LIST    all (the default), or frame numbers and ranges separated\n"
         "                       by commas, as in 0,10-99,250- (A- runs to the last frame);\n"
         "                       given more than once, the lists add up in order;\n"
         "                       HH:MM:SS:FF-HH:MM:SS:FF chooses the frames whose\n"
         "                       timecode lies in that range, in file order\n"
         "  -r, --recording LIST recordings N[,M...] (from 1, as --recordings numbers\n"
         "                       them), whole, adding to the frames listed\n"
         "  -e, --every N        of those frames, take only the 1st, (N+1)th, (2N+1)th, ...\n"
         "\n"
         "Images:\n"
         "  -p, --picture KIND   full   720 x 576 RGB at full detail (the default)\n"
         "                       dc     720 x 576 RGB from DC coefficients only\n"
         "                       half   360 x 288 RGB\n"
         "                       thumb  92 x 72 RGB, 4 x 2 pixels per macroblock\n"
         "                       luma   720 x 576 greyscale luminance\n"
         "                       none   no images (for --audio alone)\n"
         "                       half, thumb and luma need 4:2:0 frames\n"
         "  -o, --output DIR     folder for the images, made if missing (default: .)\n"
         "  -n, --name PREFIX    name the images PREFIX-NNNNNN.png (default: frame)\n"
         "  -a, --audio FILE     also write the chosen frames' sound to FILE as a 16-bit\n"
         "                       WAV at the recorded rate (silence for frames without)\n"
         "      --bad-frames WHAT  for a frame that does not decode (a dropout, a header that\n"
         "                       does not parse, a frame of another system): skip (the\n"
         "                       default), previous (the last good picture) or black;\n"
         "                       each gets a line and a frame's length of silence\n"
         "  -q, --quiet          no progress bar (one is shown on a terminal for 10 frames\n"
         "                       or more, with the rate and the time left)\n"
         "  -v, --verbose        show dvlib's own lines while the file is opened\n"
         "\n"
         "Information (written to standard output, no images):\n"
         "  -i, --info           the file's attributes, frame count, aspect, timecode,\n"
         "                       recording date and audio format\n"
         "      --frame-info     also each chosen frame's header, aspect, timecode,\n"
         "                       recording date, audio format and damage, and the\n"
         "                       damage of all of them: dropouts, headers that do not\n"
         "                       parse, blocks flagged in error, damaged segments,\n"
         "                       sound samples with error codes, and each frame whose\n"
         "                       timecode or recording date breaks the run\n"
         "      --recordings     the recordings the file holds: first and last frame,\n"
         "                       timecode in and out, date and time, frames, damage\n"
         "      --split DIR      write each recording to DIR as a DV file of its own,\n"
         "                       frames byte for byte, named by its number and its\n"
         "                       start date and time (DIR is made if missing)\n"
         "  -j, --json           as JSON lines, one object per line\n"
         "\n"
         "  -h, --help           show this help and exit\n"
         "      --threads N      decode and encode on N threads (0, the default: one a\n"
         "                       processor); 1 for one job a file under GNU parallel\n"
         "      --version        show the version and exit\n"
         "\n"
         "Exit status: 0 success, 1 a file, frame or output problem, 2 a bad command line,\n"
         "3 done, but some chosen frames did not decode.\n";
}

CommandLine parse_command_line(int argc, char **argv) {
  CommandLine line;
  Options &o = line.options;
  opterr = 0;  // the messages below say more than getopt's
  optind = 1;
  int option;
  while ((option = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr)) != -1) {
    switch (option) {
      case 'f':
        if (std::string error; !parse_frame_list(optarg, o.frames, error))
          return refuse(line, "--frames: " + error);
        break;
      case 'r':
        if (std::string error; !parse_recording_list(optarg, o.frames, error))
          return refuse(line, "--recording: " + error);
        break;
      case 'e':
        if (!parse_count(optarg, o.frames.every))
          return refuse(line, std::string("--every: '") + optarg + "' is not a whole number of 1 or more");
        break;
      case 'p':
        if (auto kind = picture_kind_named(optarg)) {
          o.picture = *kind;
        } else {
          return refuse(line, std::string("--picture: unknown picture '") + optarg +
                                  "' (full, dc, half, thumb, luma or none)");
        }
        break;
      case 'o':
        o.output_folder = optarg;
        if (o.output_folder.empty()) return refuse(line, "--output: the folder name is empty");
        break;
      case 'n':
        o.name_prefix = optarg;
        if (o.name_prefix.empty() || o.name_prefix.find('/') != std::string::npos)
          return refuse(line, "--name: the prefix must be a plain file name (not empty, no '/')");
        break;
      case 'a':
        o.audio_path = optarg;
        if (o.audio_path.empty()) return refuse(line, "--audio: the file name is empty");
        break;
      case 'i': o.info = true; break;
      case kFrameInfo:
        o.info = true;
        o.frame_info = true;
        break;
      case kRecordings:
        o.info = true;
        o.recordings = true;
        break;
      case kSplit:
        o.split_folder = optarg;
        if (o.split_folder.empty()) return refuse(line, "--split: the folder name is empty");
        o.info = true;
        o.recordings = true;
        break;
      case kBadFrames: {
        const std::string what = optarg;
        if (what == "skip") {
          o.bad_frames = BadFrames::skip;
        } else if (what == "previous") {
          o.bad_frames = BadFrames::previous;
        } else if (what == "black") {
          o.bad_frames = BadFrames::black;
        } else {
          return refuse(line, "--bad-frames: '" + what + "' is not skip, previous or black");
        }
        break;
      }
      case kThreads:
        if (!parse_count(optarg, o.threads, 0))
          return refuse(line, std::string("--threads: '") + optarg + "' is not a whole number of 0 or more");
        break;
      case 'j': o.json = true; break;
      case 'q': o.quiet = true; break;
      case 'v': o.verbose = true; break;
      case 'h': line.action = CommandLineAction::help; return line;
      case kVersion: line.action = CommandLineAction::version; return line;
      case ':': return refuse(line, std::string("option '") + argv[optind - 1] + "' needs a value");
      default: {
        const std::string word = argv[optind - 1];
        if (word.rfind("--", 0) != 0)
          return refuse(line, std::string("unknown option '-") + char(optopt) + "'");
        return refuse(
            line, (optopt != 0 ? "option '" + word + "' takes no value" : "unknown option '" + word + "'"));
      }
    }
  }
  if (optind == argc) return refuse(line, "no DV file given");
  if (argc - optind > 1)
    return refuse(line, std::string("one DV file only, but '") + argv[optind + 1] + "' follows");
  o.dv_path = argv[optind];
  if (o.json && !o.info) return refuse(line, "--json goes with --info, --frame-info or --recordings");
  if (o.info && !o.audio_path.empty())
    return refuse(line, "--audio writes a file; --info and --frame-info write none");
  return line;
}

}  // namespace ozmira::frame_export
