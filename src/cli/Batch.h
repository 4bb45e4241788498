#pragma once
// morvane-cli process beyond one file: the operations of a saved history
// (--ops-from) and one pipeline over many files (--out-dir, --ext).
#include <functional>
#include <string>
#include <vector>

#include "formats/NativeWriter.h"

struct TBatchArgs {
    std::vector<std::string> Files;  // IN OUT, or with OutDir every input
    std::string OpsFrom;             // parameter file with a history, or operations one a line
    std::string OutDir;
    std::string Ext;                 // .txt (default), .dat, .bmp, .jpg or .stl
};

// The operations of OpsFrom (UTF-8, as --op takes them) put before ops. False, with
// the reason told on stderr, when the file cannot be read.
bool ReadOperationsFile(const std::string& path, std::vector<std::string>& ops);

// DIR/NAME.EXT for an input: NAME its file name without the extension.
std::string BatchOutputName(const std::string& input, const std::string& outDir, const std::string& ext);

// Large buffers stay on this process's heap from one file to the next instead of being
// mapped and unmapped for each (glibc; elsewhere nothing changes).
void KeepBatchHeap();

// The file that keeps an input's batch output out from being written: out itself, or for
// native output (.txt) its data file; empty when neither exists. Nothing is overwritten.
std::string BatchOutputTaken(const std::string& out, const std::string& ext, TNativeKind dataKind);

// Runs one(in, out) for every input with a progress line each on stdout; an input
// whose output (or, for .txt, whose data file) exists already fails without being
// read; failures are reported and the others go on. Returns 0, or 1 when any failed.
int RunBatch(const TBatchArgs& args, TNativeKind dataKind,
             const std::function<int(const std::string& in, const std::string& out)>& one);
