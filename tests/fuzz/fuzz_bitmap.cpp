// Fuzz target: a Bitmap file opened the way the open command does it.
#include "formats/OpenFlow.h"
#define MORVANE_FUZZ_KIND TFileKind::Bitmap
#define MORVANE_FUZZ_NAME "scan.bmp"
#include "fuzz/fuzz_single.inc"
