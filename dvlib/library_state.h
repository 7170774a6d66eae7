// dvlib's process-wide state: the one libdv decoder and whether dvinit ran.
#pragma once

#include <libdv/dv.h>

namespace ozmira::dvlib {

inline constexpr int kFrameBytes = 144000;
inline constexpr unsigned kQualityFull = 5;  // colour, all AC coefficients
inline constexpr unsigned kQualityDc = 1;    // colour, DC coefficients only
inline constexpr int kRequestFull = 2;
inline constexpr int kRequestDc = 16;

extern dv_decoder_t *decoder;
extern int init_done;

// The decoder, after running dvinit with a warning in `caller`'s style when
// nobody has; null (after a message) when no decoder can be had.
dv_decoder_t *ready_decoder(const char *caller);

}  // namespace ozmira::dvlib
