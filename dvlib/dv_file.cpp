// dvopen, dvreadframe, DisplayDvAttributes, dvclose and the 64-bit stream
// helpers: random access to the frames of a raw PAL DV file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dvlib.h"
#include "library_state.h"

using namespace ozmira::dvlib;

namespace {

constexpr int kPalWidth = 720, kPalHeight = 576;

// One frame read by dvopen or dvreadframe; shared, so calls must not overlap.
unsigned char frame_buffer[kFrameBytes];

bool read_whole_frame(FILE *file) { return std::fread(frame_buffer, kFrameBytes, 1, file) == 1; }

// Bytes in `stream`, found by seeking to its end and back to its start; -1
// when they cannot be had.
int64_t stream_bytes(FILE *stream) {
  if (dv_fseek64(stream, 0, SEEK_END) != 0) return -1;
  const int64_t length = dv_ftell64(stream);
  if (dv_fseek64(stream, 0, SEEK_SET) != 0) return -1;
  return length;
}

// Opens `path` for reading without waiting on it: fopen of a named pipe that
// no one writes to would block forever. Frames are found by seeking, so only
// regular files and block devices can hold them; for anything else (pipes,
// sockets, terminals, directories) this says why and gives null.
FILE *open_seekable(const char *path) {
  if (path == nullptr) {
    LogLine("%s", "(dvopen:dvlib) Couldn't open DV file ((null)): no file name given\n");
    return nullptr;
  }
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    LogLine("(dvopen:dvlib) Couldn't open DV file (%s): %s\n", path, std::strerror(errno));
    return nullptr;
  }
  struct stat about;
  if (fstat(fd, &about) != 0) {
    LogLine("(dvopen:dvlib) Couldn't open DV file (%s): %s\n", path, std::strerror(errno));
    close(fd);
    return nullptr;
  }
  if (!(S_ISREG(about.st_mode) || S_ISBLK(about.st_mode))) {
    LogLine("(dvopen:dvlib) %s is not a regular file - closed file and returned NULL.\n", path);
    close(fd);
    return nullptr;
  }
  FILE *file = fcntl(fd, F_SETFL, 0) == 0 ? fdopen(fd, "rb") : nullptr;
  if (file == nullptr) {
    LogLine("(dvopen:dvlib) Couldn't open DV file (%s): %s\n", path, std::strerror(errno));
    close(fd);
  }
  return file;
}

dvfile *refuse(FILE *file, const char *message) {
  LogLine("%s", message);
  std::fclose(file);
  return nullptr;
}

}  // namespace

extern "C" int dv_fseek64(FILE *stream, int frame, int whence) {
  return fseeko64(stream, static_cast<int64_t>(frame) * kFrameBytes, whence);
}

extern "C" int64_t dv_ftell64(FILE *stream) { return ftello64(stream); }

extern "C" int dvcountframes(FILE *stream) {
  if (stream == nullptr) return -1;
  const int64_t length = stream_bytes(stream);
  if (length < 0) return -1;
  const int64_t whole_frames = length / kFrameBytes;
  return whole_frames > INT_MAX ? INT_MAX : static_cast<int>(whole_frames);
}

extern "C" int dvreadraw(dvfile *dv, unsigned char *block, int frame) {
  if (dv == nullptr || dv->file == nullptr || block == nullptr) {
    LogLine(
        "(dvreadraw:dvlib): '%s' was NULL - user must pass an open DV file and a block of 144000 bytes.\n",
        block == nullptr ? "block" : "dv");
    return 0;
  }
  if (dv_fseek64(dv->file, frame, SEEK_SET) != 0 || std::fread(block, kFrameBytes, 1, dv->file) != 1) {
    LogLine("(dvreadraw:dvlib): fread failed - invalid frame number? (frame %d)\n", frame);
    return 0;
  }
  return 1;
}

extern "C" dvfile *dvopen(const char *path) {
  if (init_done != 1) {
    LogLine("%s", "(dvopen:dvlib) Warning - dvinit not called yet, doing it for you\n");
    dvinit();
    if (decoder == nullptr) return nullptr;  // dvinit has said why
  }
  FILE *file = open_seekable(path);
  if (file == nullptr) return nullptr;
  if (!read_whole_frame(file)) {
    return refuse(file, "(dvopen:dvlib) Error trying to read DV frame 0 - closed file and returned NULL.\n");
  }
  dvfile attributes{};
  if (dvstatus(frame_buffer, &attributes) == -1) {
    return refuse(file,
                  "(dvopen:dvlib) Error when parsing DV frame 0 header - closed file and returned NULL.\n");
  }
  LogLine("(dvopen:dvlib) Image Size %d %d\n", attributes.x_size, attributes.y_size);
  if (attributes.x_size != kPalWidth || attributes.y_size != kPalHeight) {
    return refuse(
        file,
        "(dvopen:dvlib) Not a PAL format video - closed file and returned NULL.  Do we need this or is "
        "it an application problem?\n");
  }
  LogLine("%s", "(dvopen:dvlib) PAL format video\n");

  const int64_t length = stream_bytes(file);
  if (length == -1) {
    return refuse(file, "(dvopen:dvlib) dv_ftell64 failed - closed file and returned NULL.\n");
  }
  // Frame numbers are ints: a file of more frames (309 TB or more) keeps
  // every frame they can reach, and says that the rest cannot be numbered.
  const int64_t whole_frames = length / kFrameBytes;
  attributes.num_frames = dvcountframes(file);
  LogLine("(dvopen:dvlib) %d frames\n", attributes.num_frames);
  if (whole_frames > INT_MAX) {
    LogLine("(dvopen:dvlib) Warning - the file holds %lld frames; only the first %d can be numbered\n",
            static_cast<long long>(whole_frames), INT_MAX);
  }
  if (length % kFrameBytes != 0) {
    LogLine(
        "(dvopen:dvlib) Warning - DV file length (%lld bytes) is not an exact multiple of 144,000 - "
        "corrupt file?\n",
        static_cast<long long>(length));
  }

  auto *record = static_cast<dvfile *>(std::malloc(sizeof(dvfile)));
  if (record == nullptr) {
    return refuse(
        file, "(dvopen:dvlib) Error allocating memory for dvfile object - closed file and returned NULL.\n");
  }
  *record = attributes;
  record->file = file;
  return record;
}

extern "C" int dvclose(dvfile *dv) {
  if (dv == nullptr) return EOF;
  FILE *file = dv->file;
  std::free(dv);
  return file != nullptr ? std::fclose(file) : EOF;
}

extern "C" int dvreadframe(dvfile *dv, unsigned char *image, int frame) {
  if (image == nullptr) {
    LogLine("%s",
            "(dvreadframe:dvlib): 'image' was NULL - user must allocate sufficient size for an image.\n");
    return 0;
  }
  if (dv == nullptr || dv->file == nullptr) {
    LogLine(
        "%s",
        "(dvreadframe:dvlib): invalid dvfile structure (NULL or file not open) - user must open DV file.\n");
    return 0;
  }
  const CallGuard guard("dvreadframe");
  if (guard.refused()) return 0;
  if (dv_fseek64(dv->file, frame, SEEK_SET) != 0 || !read_whole_frame(dv->file)) {
    LogLine("%s", "(dvreadframe:dvlib): fread failed - invalid frame number? (too high/low)\n");
    return 0;
  }
  dv_decoder_t *parsed = decoder_for_block("dvreadblock", frame_buffer);
  if (parsed == nullptr) {
    LogLine("%s", "(dvreadframe:dvlib): dvreadblock failed - unknown format requested?\n");
    return 0;
  }
  // The image was sized from the record: a frame of another size (a 525/60
  // frame, or a dropout of zero bytes, which parses as one) would not fit it.
  if (parsed->width != dv->x_size || parsed->height != dv->y_size) {
    LogLine("(dvreadframe:dvlib): frame %d is %d x %d, not %d x %d as the file - image left untouched.\n",
            frame, parsed->width, parsed->height, dv->x_size, dv->y_size);
    return 0;
  }
  unsigned char *pixels[1] = {image};
  int pitches[1] = {parsed->width * kRgbBytes};
  return decode_block("dvreadframe", parsed, frame_buffer, ozmira::e_dv_color_rgb, pixels, pitches,
                      kQualityFull);
}

extern "C" void DisplayDvAttributes(const dvfile *dv) {
  if (dv == nullptr) {
    LogLine("%s", "(DisplayDvAttributes:dvlib): invalid dvfile structure (NULL) - user must open DV file.\n");
    return;
  }
  std::printf("\n");
  std::printf(" Block size (single image=144000): %d\n", dv->block_size);
  std::printf(" x size (frame width)            : %d\n", dv->x_size);
  std::printf(" y size (frame height)           : %d\n", dv->y_size);
  std::printf(" Code (Hopefully PAL)            : %d\n", dv->code);
  std::printf(" Type (greyscale or colour)      : %d\n", dv->type);
  std::printf(" Number of frames                : %d\n", dv->num_frames);
  std::printf("\n");
}
