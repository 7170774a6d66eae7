// dvlib.h stands alone in a C++ translation unit.
#include "dvlib.h"

extern "C" int dvlib_header_compiles_as_cxx() { return sizeof(dvfile); }
