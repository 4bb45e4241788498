#pragma once
// Running operations on a document as morvane-cli process and the Python module do:
// every text read first, then each applied, the picture rendered and the applied
// operation's entry added to the history.
#include <memory>
#include <string>
#include <vector>

#include "core/ImageDoc.h"
#include "processing/Operations.h"

// Every text read before any runs; throws EOperationError for the first that cannot be.
std::vector<TOperation> ParseOperations(const std::vector<std::string>& texts);

// Applies ops to doc in order, rendering after each and recording its history entry.
// Throws EAbort when one was refused (its message shown); the ones before it stay applied.
void RunOperations(TImageDoc& doc, const std::vector<TOperation>& ops);

// A second image (of arith, of a profile): channel `channel` of the file at path, as
// the inputs are loaded; null after telling why (also for a channel without samples).
std::unique_ptr<TImageDoc> LoadOneChannel(const std::string& path, int channel);
