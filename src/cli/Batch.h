#pragma once
// morvane-cli process beyond one file: the operations of a saved history
// (--ops-from) and one pipeline over many files (--out-dir, --ext).
#include <functional>
#include <string>
#include <vector>

#include "frontend/BatchFiles.h"
#include "formats/NativeWriter.h"

struct TBatchArgs {
    std::vector<std::string> Files;  // IN OUT, or with OutDir every input
    std::string OpsFrom;             // parameter file with a history, or operations one a line
    std::string OutDir;
    std::string Ext;                 // .txt (default), .dat, .bmp, .jpg or .stl
    std::string JobsText;            // -j: files at once (empty: 1)
    int Jobs = 1;
    bool Report = false;             // --report: also the batch's picture report
};

// Runs one(in, out) for every input with a progress line each on stdout; an input
// whose output (or, for .txt, whose data file) exists already fails without being
// read; failures are reported and the others go on. Returns 0, or 1 when any failed.
// The closing lines of a batch: the count written and the time on stdout, the count
// failed on stderr. Returns 0, or 1 when any failed.
int BatchSummary(size_t total, size_t failed, double seconds);

// one gets the input as args.Files[i] itself (its index is its place there).
// With Jobs > 1 the files run that many at once (cli/ParallelBatch.h).
int RunBatch(const TBatchArgs& args, TNativeKind dataKind,
             const std::function<int(const std::string& in, const std::string& out)>& one);
