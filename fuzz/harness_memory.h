// Memory for the fuzz harnesses laid out so that libdv, which is not
// instrumented, still faults when it strays: every frame block and every
// image (the tests' RowImage) ends right at an inaccessible page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "guarded_buffer.h"
#include "row_image.h"

namespace ozmira::fuzz {

using test::kNtscFrameBytes;
using test::kPalFrameBytes;
using test::RowImage;
using test::shape_of_format;

// Copies `size` bytes of input into a guarded block of exactly `block_bytes`,
// zero-filling what the input does not cover, and returns the block.
const uint8_t *guarded_copy(test::GuardedBuffer &block, const uint8_t *data, size_t size);

// The bytes a whole frame with this header occupies, as the DSF bit of its
// DIF header marks it (120000 for 525/60, else 144000).
size_t frame_bytes_of(const uint8_t *data, size_t size);

// Sends standard output, where the frame decoder reports every 4:1:1
// macroblock asked of an extended format, to /dev/null through a large buffer.
void discard_stdout();

}  // namespace ozmira::fuzz
