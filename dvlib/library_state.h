// dvlib's process-wide state (the one libdv decoder and whether dvinit ran)
// and the steps that every call on a frame block shares.
#pragma once

#include <libdv/dv.h>

#include "dif_frame.h"
#include "dvlib.h"
#include "frame_decoder.h"

namespace ozmira::dvlib {

inline constexpr int kFrameBytes = kFrameBytes625;
static_assert(kFrameBytes == DVLIB_FRAME_BYTES);
inline constexpr unsigned kQualityFull = 5;  // colour, all AC coefficients
inline constexpr unsigned kQualityDc = 1;    // colour, DC coefficients only
inline constexpr int kRequestFull = 2;
inline constexpr int kRequestDc = 16;
inline constexpr int kRgbBytes = 3;  // one pixel of packed RGB

extern dv_decoder_t *decoder;
extern int init_done;
extern int damaged_segments;  // in the last decode; -1 before the first

// Writes one line (`format` ends with its line feed) to the host's log, or
// to standard error when the host set none (dvsetlog). Every line dvlib
// writes to standard error goes through here.
void LogLine(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Holds off a call that overlaps another: the decoder, its threads and the
// frame buffer are shared, so a second call while one runs (another host
// thread) is refused with a line in `caller`'s name, not let in to draw wrong.
class CallGuard {
 public:
  explicit CallGuard(const char *caller);
  ~CallGuard();
  CallGuard(const CallGuard &) = delete;
  CallGuard &operator=(const CallGuard &) = delete;
  bool refused() const { return !entered_; }

 private:
  bool entered_;
};

// The decoder, after running dvinit with a warning in `caller`'s style when
// nobody has; null (after a message) when no decoder can be had.
dv_decoder_t *ready_decoder(const char *caller);

// libdv's header parse of `block` into `dv`: its result, or -1 when it fails
// or when the frame's DSF bit marks another video system than the parse found
// (frame_header.h), a frame no decode could walk whole. On -1 the decoder's
// video system is what it was, so the next frame's result is measured against
// the last frame that parsed. A first-pair AAUX source pack that libdv would
// complain of on standard error (and index its tables out of range by) is
// hidden from libdv: the header is parsed from a copy with that pack cleared.
int parse_frame_header(dv_decoder_t *dv, const unsigned char *block);

// The decoder holding the header of `block`, after dvinit if nobody ran it;
// null after "(caller:dvlib): dv_parse_header failed - erm?" when the header
// does not parse.
dv_decoder_t *decoder_for_block(const char *caller, const unsigned char *block);

// Runs the frame decoder at `quality` on `block`, whose header `dv` holds.
// Returns 1 when it decoded the whole frame, 0 after a line in `caller`'s
// name when it reported a failure.
int decode_block(const char *caller, dv_decoder_t *dv, const unsigned char *block, ColorSpace format,
                 unsigned char **pixels, int *pitches, unsigned quality);

}  // namespace ozmira::dvlib
