// Fuzz target: A Nanonis scan opened the way the open command does it.
#include "formats/OpenFlow.h"
#define MORVANE_FUZZ_KIND TFileKind::Sxm
#define MORVANE_FUZZ_NAME "scan.sxm"
#include "fuzz/fuzz_single.inc"
