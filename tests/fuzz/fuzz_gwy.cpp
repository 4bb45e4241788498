// Fuzz target: A Gwyddion file opened the way the open command does it.
#include "formats/OpenFlow.h"
#define MORVANE_FUZZ_KIND TFileKind::Gwy
#define MORVANE_FUZZ_NAME "scan.gwy"
#include "fuzz/fuzz_single.inc"
