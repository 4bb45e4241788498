// Fuzz target: A Gwyddion simple field file opened the way the open command does it.
#include "formats/OpenFlow.h"
#define MORVANE_FUZZ_KIND TFileKind::Gsf
#define MORVANE_FUZZ_NAME "scan.gsf"
#include "fuzz/fuzz_single.inc"
