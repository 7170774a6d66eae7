/* dvlib.h stands alone in a C translation unit and lays out dvfile as hosts
 * expect: seven fields in order, six 32-bit ints and the stream. */
#include "dvlib.h"

#include <stddef.h>

_Static_assert(sizeof(int) == 4, "dvfile's fields are 32-bit");
_Static_assert(offsetof(dvfile, block_size) == 0 && offsetof(dvfile, x_size) == 4 &&
                   offsetof(dvfile, y_size) == 8 && offsetof(dvfile, code) == 12 && offsetof(dvfile, type) == 16 &&
                   offsetof(dvfile, num_frames) == 20 && offsetof(dvfile, file) == 24,
               "dvfile's fields in order");
_Static_assert(sizeof(dv_ftell64(NULL)) == 8, "positions are 64-bit");

int dvlib_header_compiles_as_c(void) { return (int)sizeof(dvfile); }
