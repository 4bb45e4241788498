// Fuzz target: a Burleigh file opened the way the open command does it.
#include "formats/OpenFlow.h"
#define MORVANE_FUZZ_KIND TFileKind::Burleigh
#define MORVANE_FUZZ_NAME "scan.img"
#include "fuzz/fuzz_single.inc"
