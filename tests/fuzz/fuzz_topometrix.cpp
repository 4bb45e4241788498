// Fuzz target: a TopoMetrix file opened the way the open command does it.
#include "formats/OpenFlow.h"
#define MORVANE_FUZZ_KIND TFileKind::TopoMetrix
#define MORVANE_FUZZ_NAME "scan.tfp"
#include "fuzz/fuzz_single.inc"
