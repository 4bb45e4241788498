#pragma once
// morvane-cli process --out-dir with -j N: N files at once in N worker processes, with
// the outputs, messages and exit status of one file at a time.
#include <functional>
#include <string>

#include "cli/Batch.h"

// The -j text as a count of files at once: a whole number of at least 1, else false.
bool ParseJobCount(const std::string& text, int& jobs);

// RunBatch with up to jobs files at once. The files run in jobs worker processes (each
// on one thread unless MORVANE_THREADS asks for more); what a file writes to standard
// output and error is held back and passed on whole when it ends, followed by its
// progress line (a worker that dies fails its file and is replaced); progress
// lines come in the order the files finish, numbered by that order. A file whose
// output (or data file) is also another file's output waits for that file, so that it
// finds the output as one file at a time would. Returns 0, or 1 when any failed.
int RunParallelBatch(const TBatchArgs& args, TNativeKind dataKind, int jobs,
                     const std::function<int(const std::string& in, const std::string& out)>& one);
