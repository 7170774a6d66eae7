// dvinit, dvstatus, dvreadblock and dvthreads: the process-wide decoder, the
// frame block calls on it with the steps they share, and the threads they may use.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "color_tables.h"
#include "dif_packs.h"
#include "dvlib.h"
#include "frame_header.h"
#include "library_state.h"

namespace ozmira::dvlib {

dv_decoder_t *decoder = nullptr;
int init_done = 0;
int damaged_segments = -1;

namespace {

void (*host_log)(const char *line, void *user) = nullptr;
void *host_log_user = nullptr;
std::atomic<bool> call_running{false};

constexpr uint8_t kAudioSourceId = 0x50, kAudioControlId = 0x51, kClearedPack = 0xff;
constexpr int kFormatByte = 4;
constexpr int kRateCodes = 3, kQuantisationCodes = 2;  // what libdv's audio header parse knows

// Whether libdv's header parse would complain of the first pair's AAUX source
// pack: it reads both packs only when both are there, then prints for a
// sampling or quantisation code it does not know (and indexes its tables by it).
bool audio_header_libdv_refuses(const unsigned char *block) {
  const uint8_t *source = block + AudioSourceOffset();
  if (source[0] != kAudioSourceId || block[AudioControlOffset()] != kAudioControlId) return false;
  const int rate_code = (source[kFormatByte] >> 3) & 0x07;
  const int quantisation_code = source[kFormatByte] & 0x07;
  return rate_code >= kRateCodes || quantisation_code >= kQuantisationCodes;
}

}  // namespace

void LogLine(const char *format, ...) {
  va_list args;
  va_start(args, format);
  if (host_log == nullptr) {
    std::vfprintf(stderr, format, args);
    va_end(args);
    return;
  }
  char small[512];
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(length) < sizeof small) {
    va_end(again);
    host_log(small, host_log_user);
    return;
  }
  // A longer line (a long file name): malloc, not new, so that a C host
  // linking the static library needs no C++ runtime.
  char *line = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
  if (line != nullptr) {
    std::vsnprintf(line, static_cast<size_t>(length) + 1, format, again);
    host_log(line, host_log_user);
    std::free(line);
  }
  va_end(again);
}

CallGuard::CallGuard(const char *caller) : entered_(!call_running.exchange(true, std::memory_order_acquire)) {
  if (!entered_) {
    LogLine(
        "(%s:dvlib): another dvlib call is running on another thread - calls must not overlap; this one "
        "is refused.\n",
        caller);
  }
}

CallGuard::~CallGuard() {
  if (entered_) call_running.store(false, std::memory_order_release);
}

dv_decoder_t *ready_decoder(const char *caller) {
  if (init_done != 1) {
    LogLine("(%s:dvlib): Warning - dvinit not called yet, doing it for you\n", caller);
    dvinit();
  }
  return decoder;
}

int parse_frame_header(dv_decoder_t *dv, const unsigned char *block) {
  const dv_system_t system_before = dv->system;
  int parsed;
  if (audio_header_libdv_refuses(block)) {
    static unsigned char copy[kFrameBytes625];
    std::memcpy(copy, block, FrameBytesMarked(block));
    copy[AudioSourceOffset()] = kClearedPack;
    parsed = dv_parse_header(dv, copy);
  } else {
    parsed = dv_parse_header(dv, block);
  }
  if (parsed == -1 || !SystemMarksAgree(dv, block)) {
    dv->system = system_before;
    return -1;
  }
  return parsed;
}

dv_decoder_t *decoder_for_block(const char *caller, const unsigned char *block) {
  dv_decoder_t *dv = ready_decoder(caller);
  if (dv == nullptr) return nullptr;
  if (parse_frame_header(dv, block) == -1) {
    LogLine("(%s:dvlib): dv_parse_header failed - erm?\n", caller);
    return nullptr;
  }
  return dv;
}

int decode_block(const char *caller, dv_decoder_t *dv, const unsigned char *block, ColorSpace format,
                 unsigned char **pixels, int *pitches, unsigned quality) {
  dv->prev_frame_decoded = 0;
  dv->quality = quality;
  DecodeReport report;
  const bool whole = DecodeFrame(dv, block, format, pixels, pitches, &report);
  damaged_segments = report.damaged_segments;
  if (whole) return 1;
  LogLine("(%s:dvlib): the frame decoder could not decode the whole frame.\n", caller);
  return 0;
}

}  // namespace ozmira::dvlib

using namespace ozmira::dvlib;

extern "C" void dvinit(void) {
  static bool tables_built = false;
  if (!tables_built) {
    dv_init(0, 0);
    ozmira::InitColorTables();
    tables_built = true;
  }
  dv_decoder_t *fresh = dv_decoder_new(0, 0, 0);
  if (fresh == nullptr) {
    LogLine("%s", "(dvinit:dvlib) Couldn't create the DV decoder\n");
    return;
  }
  // Nothing else holds the replaced decoder, so it is released, not leaked.
  if (decoder != nullptr) dv_decoder_free(decoder);
  decoder = fresh;
  decoder->quality = kQualityFull;
  init_done = 1;
}

extern "C" int dvstatus(const unsigned char *block, dvfile *status) {
  if (block == nullptr || status == nullptr) return -1;
  const CallGuard guard("dvstatus");
  if (guard.refused()) return -1;
  dv_decoder_t *dv = ready_decoder("dvstatus");
  if (dv == nullptr) return -1;
  const int parsed = parse_frame_header(dv, block);
  if (parsed == -1) return -1;
  status->block_size = kFrameBytes;
  status->x_size = dv->width;
  status->y_size = dv->height;
  status->code = dv->sampling;
  status->type = dv_frame_is_color(dv);
  return parsed;
}

extern "C" int dvreadblock(const unsigned char *block, unsigned char *image, int format, int flags) {
  if (block == nullptr || image == nullptr) {
    LogLine("(dvreadblock:dvlib): '%s' was NULL - user must pass a frame block and an image.\n",
            block == nullptr ? "block" : "image");
    return 0;
  }
  const CallGuard guard("dvreadblock");
  if (guard.refused()) return 0;
  dv_decoder_t *dv = decoder_for_block("dvreadblock", block);
  if (dv == nullptr) return 0;
  unsigned quality;
  switch (format | flags) {
    case kRequestFull: quality = kQualityFull; break;
    case kRequestDc: quality = kQualityDc; break;
    default: return 0;
  }
  uint8_t *pixels[1] = {image};
  int pitches[1] = {dv->width * kRgbBytes};
  return decode_block("dvreadblock", dv, block, ozmira::e_dv_color_rgb, pixels, pitches, quality);
}

extern "C" int dvthreads(int count) {
  if (count < 0) {
    LogLine("(dvthreads:dvlib): %d threads refused - ask for 1 or more, or 0 for one per core\n", count);
    return -1;
  }
  const CallGuard guard("dvthreads");
  if (guard.refused()) return -1;
  return ozmira::SetDecodeThreads(count);
}

extern "C" void dvsetlog(void (*log)(const char *line, void *user), void *user) {
  host_log = log;
  host_log_user = log != nullptr ? user : nullptr;
}
