#pragma once
// The files of one pipeline over many inputs, as morvane-cli process --out-dir and the
// Python module's batches name, check and read them.
#include <string>
#include <vector>

#include "formats/NativeWriter.h"

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
