#pragma once
// The C interface we implement: glk.h and the dispatch and Blorb layers
// (unpacked from Debian's glktermw source at build time), and glkstart.h.
extern "C" {
#include "glk.h"

#include "gi_blorb.h"
#include "gi_dispa.h"
#include "glkstart.h"
}
